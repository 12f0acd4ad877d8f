using System;
using System.Collections;
using System.Linq;
using System.Reflection;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    /// <summary>Each result kind of the mechanical operations, over every operation that gives
    /// it: the controller's answer comes back as the managed value, and a failure reply comes
    /// back as the controller's code with a value the caller can still use.</summary>
    [TestFixture]
    public class ResultKindTests : MechanicalOperationTest
    {
        /// <summary>What a caller may rely on, whatever the outcome: a defined enumerator, no
        /// null text, array or member, arrays of their fixed length.</summary>
        private static void AssertUsable(MechanicalOperation op, Object value, Object success)
        {
            Type type = op.Method.ReturnType;
            Assert.IsNotNull(value, op.ToString());
            Assert.IsInstanceOf(type, value, op.ToString());
            if (type.IsEnum) Assert.IsTrue(System.Enum.IsDefined(type, value), op + ": " + value);
            if (op.Result == "array") Assert.AreEqual(((double[])success).Length, ((double[])value).Length, op.ToString());
            if (op.Result != "record" && op.Result != "toolset") return;
            foreach (FieldInfo f in type.GetFields(BindingFlags.Public | BindingFlags.Instance))
            {
                if (!f.FieldType.IsValueType) Assert.IsNotNull(f.GetValue(value), op + ": " + f.Name);
            }
        }

        [TestCase("enum")]
        [TestCase("int")]
        [TestCase("ushort")]
        [TestCase("double")]
        [TestCase("flag")]
        [TestCase("keypad")]
        [TestCase("text")]
        [TestCase("record")]
        [TestCase("doubles")]
        [TestCase("array")]
        [TestCase("toolset")]
        public void Result(String kind)
        {
            MechanicalOperation[] ops = MechanicalOperations.All.Where(o => o.Result == kind).ToArray();
            Assert.IsNotEmpty(ops, kind);
            Outcome[] usual = ops.Select(op => AssertUsualOutcome(op)).ToArray();
            for (int i = 0; i < ops.Length; ++i)
            {
                AssertUsable(ops[i], usual[i].Value, usual[i].Value);
                if (usual[i].Sent.Count == 0) Assert.AreNotEqual(0, usual[i].Code.value, ops[i] + " sent nothing yet reported success");
            }
            // A failure still gives a usable value: the arm's operations without a link, the
            // EtherCAT object's with a controller's refusal.
            DisconnectArm();
            for (int i = 0; i < ops.Length; ++i)
            {
                if (ops[i].Method.DeclaringType == typeof(BaseEthercat))
                    Script(usual[i].Sent[0].Split(' ')[0], usual[i].Sent[0].Split(' ')[1], "-17");
                Outcome failed = Call(ops[i]);
                Assert.AreNotEqual(0, failed.Code.value, ops[i] + ": " + failed);
                Assert.IsNotEmpty(failed.Code.message, ops[i].ToString());
                AssertUsable(ops[i], failed.Value, usual[i].Value);
            }
        }

        private static MechanicalOperation Op(String native)
        {
            return MechanicalOperations.All.Single(o => o.Native == native);
        }

        [Test]
        public void NumbersComeBackExactly()
        {
            // A 16-bit state reads back as it was set.
            foreach (ushort state in new ushort[] { 1, 2, 4, 8 })
            {
                Assert.AreEqual(true, Call(Op("vel_ethercat_set_slaves_state"), 0, state).Value);
                Assert.AreEqual(state, Call(Op("vel_ethercat_slave_state"), 0, 2).Value);
            }
            // A double as the controller wrote it, to the last bit.
            String[] texts = { "1.7976931348623157e308", "4.9406564584124654e-324", "-0.0", "-2.5", "0.1" };
            double[] values = { double.MaxValue, double.Epsilon, -0.0, -2.5, 0.1 };
            for (int i = 0; i < texts.Length; ++i)
            {
                Script("g", "device.io", "{\"AI.AI0_1\":" + texts[i] + "}");
                Outcome o = Call(Op("vel_robot_get_ai"));
                Assert.AreEqual(0, o.Code.value, o.ToString());
                Assert.AreEqual(BitConverter.DoubleToInt64Bits(values[i]), BitConverter.DoubleToInt64Bits((double)o.Value), texts[i]);
            }
        }

        [Test]
        public void EveryResultKindIsTested()
        {
            String[] tested = typeof(ResultKindTests).GetMethod("Result").GetCustomAttributes(typeof(TestCaseAttribute), false)
                .Cast<TestCaseAttribute>().Select(t => (String)t.Arguments[0]).ToArray();
            CollectionAssert.IsSubsetOf(MechanicalOperations.All.Where(o => o.Result != null).Select(o => o.Result).Distinct(), tested);
        }
    }
}
