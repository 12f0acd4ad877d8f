using System;
using System.Collections.Generic;
using System.Globalization;
using System.Linq;
using System.Text;
using System.Text.RegularExpressions;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    /// <summary>Each parameter kind of the mechanical operations, over every operation that
    /// takes it: the usual values reach the controller as the operation's expected requests, and
    /// values at the edges of the kind either reach it unchanged where the usual value went or
    /// are refused with a code before anything is sent.</summary>
    [TestFixture]
    public class ParameterKindTests : MechanicalOperationTest
    {
        // Keep their values in the library: nothing goes to the controller.
        private static readonly String[] Local = { "vel_robot_set_max_cache_size", "vel_robot_query_event_info" };

        private static readonly Dictionary<String, Object[]> Edges = new Dictionary<String, Object[]>
        {
            { "int", new Object[] { int.MinValue, -1, 0, int.MaxValue } },
            { "uint", new Object[] { 0u, 7u, uint.MaxValue } },
            { "ushort", new Object[] { (ushort)0, (ushort)4, ushort.MaxValue } },
            { "double", new Object[] { double.MaxValue, -double.MaxValue, double.Epsilon, -0.0, 0.0, 1e-300 } },
        };

        // Not the digits of a name ("stop1", "tool0"): an enumeration that crosses by name is sent
        // transformed, not as its number.
        private static readonly Regex Number = new Regex(@"(?<![\w.])-?\d+(?:\.\d+)?(?:[eE][+-]?\d+)?(?![\d.])");

        private static double[] Numbers(String requests)
        {
            // Mono's parser drops the sign of a negative zero.
            return Number.Matches(requests).Cast<Match>()
                .Select(m => m.Value.StartsWith("-") && double.Parse(m.Value, CultureInfo.InvariantCulture) == 0
                                 ? -0.0 : double.Parse(m.Value, CultureInfo.InvariantCulture)).ToArray();
        }

        private static bool Same(double a, double b)
        {
            return BitConverter.DoubleToInt64Bits(a) == BitConverter.DoubleToInt64Bits(b);
        }

        private static double AsNumber(Object value)
        {
            return Convert.ToDouble(value is Enum ? Convert.ToInt64(value) : value);
        }

        /// <summary>A text as the controller's JSON holds it.</summary>
        private static String Json(String text)
        {
            StringBuilder b = new StringBuilder("\"");
            foreach (char c in text)
            {
                if (c == '"' || c == '\\') b.Append('\\').Append(c);
                else if (c == '\t') b.Append("\\t");
                else if (c < ' ') b.AppendFormat("\\u{0:x4}", (int)c);
                else b.Append(c);
            }
            return b.Append('"').ToString();
        }

        private static String Shown(Object value)
        {
            String s = value as String;
            if (s != null && s.Length > 40) return "text of " + s.Length;
            return value == null ? "null" : Convert.ToString(value, CultureInfo.InvariantCulture);
        }

        /// <summary>Runs <paramref name="check"/> on every operation taking
        /// <paramref name="kind"/>, at each position of that kind, after its usual call.</summary>
        private void EachParameter(String kind, Action<MechanicalOperation, int> check)
        {
            List<MechanicalOperation> ops = MechanicalOperations.Taking(kind).ToList();
            Assert.IsNotEmpty(ops, kind);
            foreach (MechanicalOperation op in ops)
            {
                AssertUsualOutcome(op);
                for (int at = 0; at < op.Kinds.Length; ++at)
                    if (op.Kinds[at] == kind) check(op, at);
            }
        }

        /// <summary>The operation called with each value in place of argument
        /// <paramref name="at"/>: every call reaches the controller or is refused with a code.</summary>
        private List<Tuple<Object, Outcome>> Sweep(MechanicalOperation op, int at, IEnumerable<Object> values)
        {
            List<Tuple<Object, Outcome>> seen = new List<Tuple<Object, Outcome>>();
            foreach (Object value in values)
            {
                String what = op + "[" + at + "]=" + Shown(value);
                Outcome o = AssertExpected(what, Call(op, at, value));
                if (o.Sent.Count == 0 && !Local.Contains(op.Native))
                    Assert.AreNotEqual(0, o.Code.value, what + ": sent nothing yet reported success");
                seen.Add(Tuple.Create(value, o));
            }
            return seen;
        }

        /// <summary>A number sent in place of the usual one lands where the usual one did, and
        /// nothing else of the requests changes (but for those a failure reply cut short).</summary>
        private void AssertNumbersCross(MechanicalOperation op, int at, List<Tuple<Object, Outcome>> seen)
        {
            Outcome usual = Call(op);
            double u = AsNumber(Usual(op, at));
            if (!Numbers(usual.Request).Any(n => Same(n, u))) return;  // not sent, or sent transformed
            foreach (Tuple<Object, Outcome> e in seen.Where(e => e.Item2.Sent.Count > 0))
            {
                double v = AsNumber(e.Item1);
                int count = Math.Min(usual.Sent.Count, e.Item2.Sent.Count);
                String was = String.Join(" | ", usual.Sent.Take(count)), now = String.Join(" | ", e.Item2.Sent.Take(count));
                String what = op + "[" + at + "]=" + Shown(e.Item1) + ": " + now;
                Assert.AreEqual(Number.Replace(was, "#"), Number.Replace(now, "#"), what);
                double[] before = Numbers(was), after = Numbers(now);
                bool landed = Same(v, u);
                for (int i = 0; i < before.Length; ++i)
                {
                    if (Same(before[i], after[i])) continue;
                    Assert.IsTrue(Same(before[i], u) && Same(after[i], v), what + ": number " + i + " changed");
                    landed = true;
                }
                Assert.IsTrue(landed, what + ": the value does not show where " + u + " did");
            }
        }

        [TestCase("int")]
        [TestCase("uint")]
        [TestCase("ushort")]
        [TestCase("double")]
        public void NumberKinds(String kind)
        {
            EachParameter(kind, (op, at) => AssertNumbersCross(op, at, Sweep(op, at, Edges[kind])));
        }

        [Test]
        public void DoublesThatAreNoJsonNumberAreNeverSent()
        {
            Object[] values = { double.NaN, double.PositiveInfinity, double.NegativeInfinity };
            EachParameter("double", (op, at) =>
            {
                foreach (Tuple<Object, Outcome> e in Sweep(op, at, values)) Assert.IsEmpty(e.Item2.Sent, op + ": " + e.Item2);
            });
        }

        [Test]
        public void EnumKind()
        {
            EachParameter("enum", (op, at) =>
            {
                Type type = op.ParameterType(at);
                IEnumerable<Object> values = Enum.GetValues(type).Cast<Object>()
                    .Concat(new[] { Enum.ToObject(type, 99), Enum.ToObject(type, -1) });
                AssertNumbersCross(op, at, Sweep(op, at, values));
            });
        }

        [Test]
        public void FlagKind()
        {
            EachParameter("flag", (op, at) =>
            {
                List<Tuple<Object, Outcome>> seen = Sweep(op, at, new Object[] { true, false });
                if (seen.Any(e => e.Item2.Sent.Count > 0))
                    Assert.AreNotEqual(seen[0].Item2.Request, seen[1].Item2.Request, op + ": the flag does not cross");
            });
        }

        [Test]
        public void TextKind()
        {
            String[] texts = { "", "机器人-01 \U0001F916", "a\"b\\c/d\te", new String('x', 4000), null };
            EachParameter("text", (op, at) =>
            {
                List<Tuple<Object, Outcome>> seen = Sweep(op, at, texts);
                for (int i = 1; i < texts.Length - 1; ++i)
                {
                    if (seen[i].Item2.Sent.Count > 0)
                        StringAssert.Contains(Json(texts[i]), seen[i].Item2.Request, op + "[" + at + "]=" + Shown(texts[i]));
                }
                // A null text crosses as the empty one.
                Assert.AreEqual(seen[0].Item2.ToString(), seen[texts.Length - 1].Item2.ToString(), op + "[" + at + "]");
            });
        }

        [Test]
        public void TextListKind()
        {
            String[] names = { "主任务-\U0001F916", "a\"b" };
            EachParameter("texts", (op, at) =>
            {
                Type type = op.ParameterType(at);
                Outcome given = Sweep(op, at, new Object[] { null, Texts(type), Texts(type, names) }).Last().Item2;
                if (given.Sent.Count > 0)
                    foreach (String name in names) StringAssert.Contains(Json(name), given.Request, op.ToString());
            });
        }

        private static readonly Dictionary<String, Object> Records = new Dictionary<String, Object>
        {
            { "frame", new Frame(new double[] { 0.1, -0.2, 0.3, 1.5, -1.25, 3.0625 }) },
            { "load", new Load(2.5, new double[] { 0.01, -0.02, 0.03 }, new double[] { 0.125, 0.25, 0.375 }) },
            { "toolset", Conversions.toolsetFromValues(Enumerable.Range(1, Conversions.ToolsetValues).Select(i => i / 8.0).ToArray()) },
        };

        private static double[] ValuesOf(Object record)
        {
            if (record is Frame) return Conversions.frameToValues((Frame)record);
            if (record is Load) return Conversions.loadToValues((Load)record);
            return Conversions.toolsetToValues((Toolset)record);
        }

        /// <summary>Every value of a fixed record reaches the controller; a null record is the
        /// platform's NullReferenceException with nothing sent.</summary>
        [TestCase("frame")]
        [TestCase("load")]
        [TestCase("toolset")]
        public void RecordKinds(String kind)
        {
            EachParameter(kind, (op, at) =>
            {
                Outcome o = Call(op, at, Records[kind]);
                Assert.AreEqual(0, o.Code.value, op + ": " + o.Code.message);
                List<double> sent = Numbers(o.Request).ToList();
                foreach (double v in ValuesOf(Records[kind]))
                {
                    int found = sent.FindIndex(n => Same(n, v));
                    Assert.GreaterOrEqual(found, 0, op + ": " + v + " missing in " + o.Request);
                    sent.RemoveAt(found);
                }
                int before = RequestCount();
                Assert.Throws<NullReferenceException>(() => Call(op, at, null));
                Assert.AreEqual(before, RequestCount(), op.ToString());
            });
        }

        /// <summary>An array of a fixed size (6, or one value per joint of the 7-joint arm):
        /// that many values reach the controller in order (whatever it answers), a longer array is cut to them, and a
        /// shorter one is refused with 259 and nothing sent, since a missing value would go as
        /// zero; a null array is the platform's NullReferenceException with nothing sent.</summary>
        [Test]
        public void FixedArrayKind()
        {
            double[] values = Enumerable.Range(1, 9).Select(k => k / 16.0).ToArray();
            int crossed = 0;
            EachParameter("fixed", (op, at) =>
            {
                int size = Enumerable.Range(0, values.Length).First(n => Call(op, at, values.Take(n).ToArray()).Code.value != 259);
                CollectionAssert.Contains(new[] { 6, 7 }, size, op.ToString());
                Outcome exact = Call(op, at, values.Take(size).ToArray());
                // Another usual argument may be out of its range (a condition's timeout): then
                // only the refusals below are seen.
                if (exact.Sent.Count > 0)
                {
                    ++crossed;
                    double[] sent = Numbers(exact.Request);
                    int from = Array.FindIndex(sent, n => Same(n, values[0]));
                    Assert.GreaterOrEqual(from, 0, op + ": " + exact);
                    CollectionAssert.AreEqual(values.Take(size), sent.Skip(from).Take(size), op + ": " + exact);
                }
                Assert.AreEqual(exact.ToString(), Call(op, at, values).ToString(), op + ": a longer array is cut");
                Outcome shorter = Call(op, at, values.Take(size - 1).ToArray());
                Assert.AreEqual(259, shorter.Code.value, op.ToString());
                Assert.IsEmpty(shorter.Sent, op.ToString());
                int before = RequestCount();
                Assert.Throws<NullReferenceException>(() => Call(op, at, null));
                Assert.AreEqual(before, RequestCount(), op.ToString());
            });
            Assert.Greater(crossed, 0);
        }

        [Test]
        public void NoParameters()
        {
            foreach (MechanicalOperation op in MechanicalOperations.All.Where(o => o.Kinds.Length == 0 && o.Result == null))
            {
                if (op.Member == "disconnectFromRobot" || op.Member == "connectToRobot") continue;  // RobotTests
                Outcome o = AssertUsualOutcome(op);
                if (o.Sent.Count == 0) Assert.AreNotEqual(0, o.Code.value, op + " sent nothing yet reported success");
            }
        }

        [Test]
        public void EveryParameterKindIsTested()
        {
            String[] tested = Edges.Keys.Concat(Records.Keys).Concat(new[] { "enum", "flag", "text", "texts", "fixed" }).ToArray();
            CollectionAssert.IsSubsetOf(MechanicalOperations.All.SelectMany(o => o.Kinds).Distinct(), tested);
        }
    }
}
