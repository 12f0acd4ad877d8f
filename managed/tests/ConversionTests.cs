using System;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    [TestFixture]
    public class ConversionTests : ManagedTest
    {
        [Test]
        public void FrameFromOneArrayNeedsSixValues()
        {
            Assert.Throws<IndexOutOfRangeException>(() => new Frame(new double[5]));
            Frame f = new Frame(new double[] { 1, 2, 3, 4, 5, 6, 7 });
            CollectionAssert.AreEqual(new double[] { 1, 2, 3 }, f.trans);
            CollectionAssert.AreEqual(new double[] { 4, 5, 6 }, f.rpy);
        }

        // A joint or 6-vector argument shorter than the arm needs is refused (the operation
        // reports 259 and sends nothing); a longer one is cut.
        [TestCase(4, 6, false)]
        [TestCase(0, 6, false)]
        [TestCase(6, 6, true)]
        [TestCase(8, 6, true)]
        [TestCase(7, 7, true)]
        [TestCase(6, 7, false)]
        public void FixedArraysRefuseShortInput(int given, int needed, bool accepted)
        {
            double[] values = new double[given];
            for (int i = 0; i < given; ++i) values[i] = i + 1;
            double[] result = Conversions.fixedArray(values, needed);
            if (!accepted)
            {
                Assert.IsNull(result);
                return;
            }
            Assert.AreEqual(needed, result.Length);
            for (int i = 0; i < needed; ++i) Assert.AreEqual(i + 1, result[i]);
        }

        [Test]
        public void PaddedArrayIsOnlyForNaturalZeros()
        {
            CollectionAssert.AreEqual(new double[] { 1, 2, 3, 4, 0, 0 },
                                      Conversions.paddedArray(new double[] { 1, 2, 3, 4 }, 6));
            CollectionAssert.AreEqual(new double[] { 1, 2, 3, 4, 5, 6 },
                                      Conversions.paddedArray(new double[] { 1, 2, 3, 4, 5, 6, 7, 8 }, 6));
            Assert.Throws<NullReferenceException>(() => Conversions.paddedArray(null, 6));
            Assert.Throws<NullReferenceException>(() => Conversions.fixedArray(null, 6));
        }

        [Test]
        public void FlatFramesAndLoadsNeedThreeValuesPerArray()
        {
            Frame shortFrame = new Frame(new double[] { 1, 2 }, new double[3]);
            Assert.Throws<IndexOutOfRangeException>(() => Conversions.frameToValues(shortFrame));
            Load shortLoad = new Load(1, new double[3], new double[2]);
            Assert.Throws<IndexOutOfRangeException>(() => Conversions.loadToValues(shortLoad));
            Assert.Throws<NullReferenceException>(() => Conversions.frameToValues(new Frame(null, null)));

            CollectionAssert.AreEqual(new double[] { 9, 1, 2, 3, 4, 5, 6 },
                Conversions.loadToValues(new Load(9, new double[] { 1, 2, 3, 99 }, new double[] { 4, 5, 6 })));
        }

        [Test]
        public void CanFrameDefaultsToClassicAndKeepsNoNullData()
        {
            CANFrame classic = new CANFrame();
            Assert.AreEqual(2, classic.frame_type);
            Assert.AreEqual(0, classic.data.Length);
            CANFrame given = new CANFrame(1, 1, 0, null, 0);
            Assert.IsNotNull(given.data);
            Assert.AreEqual(0, given.data.Length);
        }
    }
}
