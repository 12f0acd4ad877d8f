using System;
using System.Text;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    [TestFixture]
    public class TextTests : ManagedTest
    {
        [TestCase(null, new byte[] { 0 })]
        [TestCase("", new byte[] { 0 })]
        [TestCase("ab\0cd", new byte[] { 0x61, 0x62, 0 })]
        [TestCase("机器人", new byte[] { 0xE6, 0x9C, 0xBA, 0xE5, 0x99, 0xA8, 0xE4, 0xBA, 0xBA, 0 })]
        [TestCase("\U0001F916", new byte[] { 0xF0, 0x9F, 0xA4, 0x96, 0 })]
        [TestCase("a\uD800b", new byte[] { 0x61, 0xEF, 0xBF, 0xBD, 0x62, 0 })]
        public void ManagedTextGoesInAsUtf8CutAtNul(String text, byte[] expected)
        {
            CollectionAssert.AreEqual(expected, Conversions.convertString(text));
        }

        [TestCase("机器人-01")]
        [TestCase("\U0001F916 arm")]
        [TestCase("控制器日志：关节 3 超限 \U00020000")]
        [TestCase("plain ASCII")]
        public void TextRoundTripsByteExact(String text)
        {
            IntPtr echo;
            NativeCore.Check(TestSim.vts_text_echo(Utf8.ToNative(text), out echo));
            byte[] bytes = NativeCore.TakeBytes(echo);

            CollectionAssert.AreEqual(Encoding.UTF8.GetBytes(text), bytes);
            Assert.AreEqual(text, Utf8.FromNative(bytes));
        }

        [TestCase(new byte[] { 0x61, 0xFF, 0x62 }, "a\uFFFDb")]
        [TestCase(new byte[] { 0x61, 0x00, 0x62 }, "a\0b")]
        [TestCase(new byte[] { 0xE6, 0x9C }, "\uFFFD")]
        [TestCase(new byte[0], "")]
        public void NativeBytesComeOutAsUtf8(byte[] bytes, String text)
        {
            IntPtr echo;
            NativeCore.Check(TestSim.vts_bytes_echo(bytes, bytes.Length, out echo));
            String result = NativeCore.TakeText(echo);
            Assert.IsNotNull(result);
            Assert.AreEqual(text, result);
        }

        [Test]
        public void SdkVersionIsTheLibrarys()
        {
            Assert.AreEqual("0.7.1", NativeCore.SdkVersion());
        }
    }
}
