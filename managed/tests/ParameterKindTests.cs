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
    /// takes it: the usual values reach the controller as the operation's request, and values at
    /// the edges of the kind either reach it unchanged where the usual value went or are refused
    /// with a code before anything is sent.</summary>
    [TestFixture]
    public class ParameterKindTests : MechanicalOperationTest
    {
        // Keeps its value in the library: nothing goes to the controller.
        private static readonly String[] Local = { "vel_robot_set_max_cache_size" };

        private static readonly Regex Number = new Regex(@"(?<![\d.])-?\d+(?:\.\d+)?(?:[eE][+-]?\d+)?(?![\d.])");

        private static double[] Numbers(String request)
        {
            return Number.Matches(request).Cast<Match>().Select(m => ParseNumber(m.Value)).ToArray();
        }

        private static double ParseNumber(String text)
        {
            double n = double.Parse(text, CultureInfo.InvariantCulture);
            // Mono's parser drops the sign of a negative zero.
            return n == 0 && text.StartsWith("-") ? -0.0 : n;
        }

        /// <summary>The first <paramref name="count"/> requests of a call.</summary>
        private static String FirstRequests(Outcome o, int count)
        {
            return String.Join(" | ", o.Sent.Take(count));
        }

        private static bool Same(double a, double b)
        {
            return BitConverter.DoubleToInt64Bits(a) == BitConverter.DoubleToInt64Bits(b);
        }

        /// <summary>A text as the controller's JSON holds it.</summary>
        private static String Json(String text)
        {
            StringBuilder b = new StringBuilder("\"");
            foreach (char c in text)
            {
                if (c == '"' || c == '\\') b.Append('\\').Append(c);
                else if (c == '\t') b.Append("\\t");
                else if (c == '\n') b.Append("\\n");
                else if (c < ' ') b.AppendFormat("\\u{0:x4}", (int)c);
                else b.Append(c);
            }
            return b.Append('"').ToString();
        }

        /// <summary>Calls the operation with the usual values, then with each of
        /// <paramref name="values"/> in place of argument <paramref name="at"/>; each call either
        /// reaches the controller or is refused with a code and sends nothing.</summary>
        private List<KeyValuePair<Object, Outcome>> Sweep(MechanicalOperation op, int at, IEnumerable<Object> values)
        {
            List<KeyValuePair<Object, Outcome>> seen = new List<KeyValuePair<Object, Outcome>>();
            foreach (Object value in values)
            {
                String what = op + "[" + at + "]=" + Shown(value);
                Outcome o = AssertExpected(what, Call(op, at, value));
                AssertSentOrRefused(op, o, what);
                seen.Add(new KeyValuePair<Object, Outcome>(value, o));
            }
            return seen;
        }

        private static void AssertSentOrRefused(MechanicalOperation op, Outcome o, String what)
        {
            if (o.Sent.Count == 0 && !Local.Contains(op.Native))
                Assert.AreNotEqual(0, o.Code.value, what + ": sent nothing yet reported success");
        }

        private static Outcome Of(List<KeyValuePair<Object, Outcome>> seen, Object value)
        {
            return seen.First(e => Equals(e.Key, value)).Value;
        }

        private static String Shown(Object value)
        {
            String s = value as String;
            if (value == null) return "null";
            return s != null && s.Length > 40 ? "text of " + s.Length : Convert.ToString(value, CultureInfo.InvariantCulture);
        }

        /// <summary>A number sent in place of the usual one lands where the usual one did, and
        /// nothing else of the request changes.</summary>
        private void AssertNumberCrosses(MechanicalOperation op, int at, List<KeyValuePair<Object, Outcome>> seen)
        {
            Outcome usual = Call(op);
            Object usualValue = Usual(op, at);
            double u = Convert.ToDouble(usualValue is System.Enum ? Convert.ToInt32(usualValue) : usualValue);
            if (!Numbers(usual.Request).Any(n => Same(n, u))) return;  // not sent, or sent transformed
            foreach (KeyValuePair<Object, Outcome> e in seen)
            {
                if (e.Value.Sent.Count == 0) continue;
                double v = Convert.ToDouble(e.Key is System.Enum ? Convert.ToInt32(e.Key) : e.Key);
                String what = op + " [" + at + "] = " + Shown(e.Key) + ": " + e.Value.Request;
                // A failure reply may end the exchange early: the requests both calls made.
                int count = Math.Min(usual.Sent.Count, e.Value.Sent.Count);
                Assert.AreEqual(Number.Replace(FirstRequests(usual, count), "#"), Number.Replace(FirstRequests(e.Value, count), "#"), what);
                double[] before = Numbers(FirstRequests(usual, count));
                double[] after = Numbers(FirstRequests(e.Value, count));
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

        private void NumberKind(String kind, params Object[] edges)
        {
            List<MechanicalOperation> ops = MechanicalOperations.Taking(kind).ToList();
            Assert.IsNotEmpty(ops, kind);
            foreach (MechanicalOperation op in ops)
            {
                AssertUsualOutcome(op);
                for (int at = 0; at < op.Kinds.Length; ++at)
                {
                    if (op.Kinds[at] == kind) AssertNumberCrosses(op, at, Sweep(op, at, edges));
                }
            }
        }

        [Test]
        public void Int()
        {
            NumberKind("int", int.MinValue, -1, 0, int.MaxValue);
        }

        [Test]
        public void Uint()
        {
            NumberKind("uint", 0u, 7u, uint.MaxValue);
        }

        [Test]
        public void Ushort()
        {
            NumberKind("ushort", (ushort)0, (ushort)4, ushort.MaxValue);
        }

        [Test]
        public void Double()
        {
            Object[] edges = { double.MaxValue, -double.MaxValue, double.Epsilon, -0.0, 0.0, 1e-300 };
            NumberKind("double", edges);
            // Not JSON: never sent, whatever the operation.
            foreach (MechanicalOperation op in MechanicalOperations.Taking("double"))
            {
                for (int at = 0; at < op.Kinds.Length; ++at)
                {
                    if (op.Kinds[at] != "double") continue;
                    foreach (KeyValuePair<Object, Outcome> e in Sweep(op, at, new Object[] { double.NaN, double.PositiveInfinity, double.NegativeInfinity }))
                        Assert.IsEmpty(e.Value.Sent, op + ": " + e.Value);
                }
            }
        }

        [Test]
        public void Flag()
        {
            foreach (MechanicalOperation op in MechanicalOperations.Taking("flag"))
            {
                AssertUsualOutcome(op);
                for (int at = 0; at < op.Kinds.Length; ++at)
                {
                    if (op.Kinds[at] != "flag") continue;
                    List<KeyValuePair<Object, Outcome>> seen = Sweep(op, at, new Object[] { true, false });
                    Outcome on = Of(seen, true), off = Of(seen, false);
                    if (on.Sent.Count > 0 || off.Sent.Count > 0)
                        Assert.AreNotEqual(on.Request, off.Request, op + ": the flag does not cross");
                }
            }
        }

        [Test]
        public void Enum()
        {
            foreach (MechanicalOperation op in MechanicalOperations.Taking("enum"))
            {
                AssertUsualOutcome(op);
                for (int at = 0; at < op.Kinds.Length; ++at)
                {
                    if (op.Kinds[at] != "enum") continue;
                    Type type = op.ParameterType(at);
                    List<Object> values = System.Enum.GetValues(type).Cast<Object>().ToList();
                    values.Add(System.Enum.ToObject(type, 99));
                    values.Add(System.Enum.ToObject(type, -1));
                    AssertNumberCrosses(op, at, Sweep(op, at, values));
                }
            }
        }

        [Test]
        public void Text()
        {
            String[] edges = { "", "机器人-01 \U0001F916", "a\"b\\c/d\te", new String('x', 4000) };
            foreach (MechanicalOperation op in MechanicalOperations.Taking("text"))
            {
                AssertUsualOutcome(op);
                for (int at = 0; at < op.Kinds.Length; ++at)
                {
                    if (op.Kinds[at] != "text") continue;
                    List<KeyValuePair<Object, Outcome>> seen = Sweep(op, at, edges.Concat(new String[] { null }));
                    foreach (String text in edges.Where(t => t.Length > 0))
                    {
                        Outcome o = Of(seen, text);
                        if (o.Sent.Count > 0) StringAssert.Contains(Json(text), o.Request, op + " [" + at + "] = " + Shown(text));
                    }
                    // A null text crosses as the empty one.
                    Assert.AreEqual(Of(seen, "").ToString(), Of(seen, null).ToString(), op + " [" + at + "]");
                }
            }
        }

        [Test]
        public void Texts()
        {
            foreach (MechanicalOperation op in MechanicalOperations.Taking("texts"))
            {
                AssertUsualOutcome(op);
                int at = Array.IndexOf(op.Kinds, "texts");
                Type type = op.ParameterType(at);
                String[] names = { "主任务-\U0001F916", "a\"b" };
                Sweep(op, at, new Object[] { null, Texts(type) });
                Outcome given = Sweep(op, at, new Object[] { Texts(type, names) }).Single().Value;
                if (given.Sent.Count > 0)
                    foreach (String name in names) StringAssert.Contains(Json(name), given.Request, op.ToString());
            }
        }

        // Fixed records: every value of the record reaches the controller; a null record is the
        // platform's NullReferenceException with nothing sent.
        private static readonly Dictionary<String, Object> Records = new Dictionary<String, Object>
        {
            { "frame", new Frame(new double[] { 0.1, -0.2, 0.3, 1.5, -1.25, 3.0625 }) },
            { "load", new Load(2.5, new double[] { 0.01, -0.02, 0.03 }, new double[] { 0.125, 0.25, 0.375 }) },
            { "toolset", ToolsetOf() },
        };

        private static Toolset ToolsetOf()
        {
            Toolset set = new Toolset();
            set.end = new Frame(new double[] { 0, 0, 0.15, 0, 0, 1.5 });
            set.reference = new Frame(new double[] { 0.5, 0, 0, 0, 0, -0.75 });
            set.load = new Load(2.5, new double[] { 0.01, 0.02, 0.03 }, new double[] { 0.1, 0.2, 0.3 });
            return set;
        }

        private static double[] ValuesOf(Object record)
        {
            if (record is Frame) return Conversions.frameToValues((Frame)record);
            if (record is Load) return Conversions.loadToValues((Load)record);
            return Conversions.toolsetToValues((Toolset)record);
        }

        [TestCase("frame")]
        [TestCase("load")]
        [TestCase("toolset")]
        public void Record(String kind)
        {
            Assert.IsNotEmpty(MechanicalOperations.Taking(kind).ToList());
            foreach (MechanicalOperation op in MechanicalOperations.Taking(kind))
            {
                AssertUsualOutcome(op);
                int at = Array.IndexOf(op.Kinds, kind);
                Outcome o = Call(op, at, Records[kind]);
                Assert.AreEqual(0, o.Code.value, op + ": " + o.Code.message);
                List<double> sent = Numbers(o.Request).ToList();
                foreach (double v in ValuesOf(Records[kind]))
                {
                    Assert.IsTrue(sent.Any(n => Same(n, v)), op + ": " + v + " missing in " + o.Request);
                    sent.Remove(sent.First(n => Same(n, v)));
                }
                int before = RequestCount();
                Assert.Throws<NullReferenceException>(() => Call(op, at, null));
                Assert.AreEqual(before, RequestCount(), op.ToString());
            }
        }

        [Test]
        public void EveryParameterKindIsTested()
        {
            String[] tested = { "int", "uint", "ushort", "double", "flag", "enum", "text", "texts", "frame", "load", "toolset" };
            CollectionAssert.IsSubsetOf(MechanicalOperations.All.SelectMany(o => o.Kinds).Distinct(), tested);
        }

        [Test]
        public void NoParameters()
        {
            foreach (MechanicalOperation op in MechanicalOperations.All.Where(o => o.Kinds.Length == 0 && o.Result == null))
            {
                if (op.Native == "vel_robot_disconnect" || op.Native == "vel_robot_reconnect") continue;
                AssertSentOrRefused(op, AssertUsualOutcome(op), op.ToString());
            }
        }
    }
}
