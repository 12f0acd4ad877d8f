// The mechanical operations as the tests of each kind call them: found by their managed
// signature, called on a connected arm (or its force control or EtherCAT object) with the values
// of each kind, and seen by what the simulator received.

using System;
using System.Collections;
using System.Collections.Generic;
using System.Globalization;
using System.Linq;
using System.Reflection;
using System.Runtime.InteropServices;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    internal sealed class MechanicalOperation
    {
        internal readonly String Native;
        internal readonly String Member;
        internal readonly String[] Kinds;
        internal readonly String Result;
        internal readonly MethodInfo Method;

        internal MechanicalOperation(String native, Type type, String member, String kinds, String result,
                                     params Type[] types)
        {
            Native = native;
            Member = member;
            Kinds = kinds.Split(new[] { ' ' }, StringSplitOptions.RemoveEmptyEntries);
            Result = result;
            Method = type.GetMethod(member, types.Concat(new[] { typeof(ErrorCode).MakeByRefType() }).ToArray());
        }

        internal Type ParameterType(int i)
        {
            return Method.GetParameters()[i].ParameterType;
        }

        public override String ToString()
        {
            return Native;
        }
    }

    internal static partial class MechanicalOperations
    {
        // Queued on the motion queue, which sends it when the motion before it ends: what a call
        // sends cannot be told apart from what the next one does (the queue has tests of its own).
        private static readonly String[] Queued = { "vel_cobot_replay_path" };

        internal static IEnumerable<MechanicalOperation> Taking(String kind)
        {
            return All.Where(o => o.Kinds.Contains(kind) && !Queued.Contains(o.Native));
        }
    }

    /// <summary>What one call of an operation did: its code, its value and the requests the
    /// simulator received meanwhile, one "form key payload" line each.</summary>
    internal sealed class Outcome
    {
        internal ErrorCode Code;
        internal Object Value;
        internal List<String> Sent;

        internal String Request { get { return String.Join(" | ", Sent); } }

        internal bool HasValue;

        public override String ToString()
        {
            return Code.value + " " + Request + (HasValue ? " => " + Show(Value) : "");
        }

        /// <summary>A value as the expected outcomes write it: texts quoted, arrays in full,
        /// lists by their length, records by their first text.</summary>
        internal static String Show(Object value)
        {
            if (value == null) return "null";
            if (value is String) return "\"" + value + "\"";
            if (value is double[]) return "[" + String.Join(",", ((double[])value).Select(d => d.ToString("R", CultureInfo.InvariantCulture))) + "]";
            if (value is IList) return ((IList)value).Count + " items";
            if (value is Frame) return Show(((Frame)value).trans) + Show(((Frame)value).rpy);
            if (value is IConvertible) return Convert.ToString(value, CultureInfo.InvariantCulture);
            FieldInfo text = value.GetType().GetFields().FirstOrDefault(f => f.FieldType == typeof(String));
            return text == null ? value.GetType().Name : Show(text.GetValue(value));
        }
    }

    /// <summary>Base of the tests that call the mechanical operations on a 7-joint
    /// collaborative arm with force control and an EtherCAT bus of slaves 1 and 2.</summary>
    public abstract class MechanicalOperationTest : SimulatorTest
    {
        private OstraMaxRobot robot_;
        private ForceControl forceControl_;
        private BaseEthercat ethercat_;

        [SetUp]
        public void ConnectArm()
        {
            ExtensionSim.Install(Sim, 7, 1, 2);
            forceControl_ = null;
            ethercat_ = null;
            robot_ = Own(new OstraMaxRobot(Address, Address));
        }

        /// <summary>Closes the arm's link for good (the link of the EtherCAT object stays).</summary>
        protected void DisconnectArm()
        {
            ErrorCode ec;
            robot_.disconnectFromRobot(out ec);
            Assert.AreEqual(0, ec.value, ec.message);
        }

        private Object Receiver(MechanicalOperation op)
        {
            Type type = op.Method.DeclaringType;
            if (type.IsInstanceOfType(robot_)) return robot_;
            if (type == typeof(ForceControl))
                return forceControl_ ?? (forceControl_ = Own(robot_.forceControl()));
            return ethercat_ ?? (ethercat_ = Own(robot_.ethercat()));
        }

        [DllImport("velmora_testsim", CallingConvention = CallingConvention.Cdecl)]
        private static extern int vts_sim_requests(SimHandle sim, long first, out IntPtr lines);

        private List<String> RequestsFrom(int first)
        {
            IntPtr lines;
            NativeCore.Check(vts_sim_requests(Sim, first, out lines));
            return NativeCore.TakeText(lines).Split(new[] { '\n' }, StringSplitOptions.RemoveEmptyEntries).ToList();
        }

        protected int RequestCount()
        {
            return RequestsFrom(0).Count;
        }

        /// <summary>The requests of the calls, without the event watches the library renews
        /// on its own.</summary>
        private static List<String> Commands(List<String> requests)
        {
            return requests.Where(r => !r.StartsWith("w ")).ToList();
        }

        /// <summary>The value of each kind an operation is called with unless a test says
        /// otherwise: distinct per position, so a swapped or dropped argument shows. Texts are
        /// names the simulated controller holds ("tool0", "wobj0"), so look-ups can succeed.</summary>
        internal static Object Usual(MechanicalOperation op, int i)
        {
            Type type = op.ParameterType(i);
            switch (op.Kinds[i])
            {
                case "flag": return false;
                case "int": return i + 1;
                case "uint": return (uint)i;
                case "ushort": return (ushort)8;
                case "double": return 0.5 / (i + 1);
                case "text": return i == 0 ? "tool0" : "wobj" + (i - 1);
                case "enum": return Enum.GetValues(type).GetValue(Enum.GetValues(type).Length > 1 ? 1 : 0);
                case "frame": return new Frame(new double[] { 0.1, -0.2, 0.3, 0.4, -0.5, 0.6 });
                case "load": return new Load(1.5, new double[] { 0.01, 0.02, 0.03 }, new double[] { 0.1, 0.2, 0.3 });
                case "toolset": return new Toolset();
                case "texts": return Texts(type, "main");
                case "fixed": return Enumerable.Range(1, 7).Select(k => k / 8.0).ToArray();
            }
            throw new ArgumentException(op.Native + ": no usual value of " + op.Kinds[i]);
        }

        /// <summary>Texts as the list type <paramref name="type"/> of a parameter.</summary>
        protected static Object Texts(Type type, params String[] texts)
        {
            return type.IsArray ? (Object)texts : new List<String>(texts);
        }

        internal static Object[] UsualArguments(MechanicalOperation op)
        {
            Object[] args = new Object[op.Kinds.Length];
            for (int i = 0; i < args.Length; ++i) args[i] = Usual(op, i);
            return args;
        }

        /// <summary>Calls <paramref name="op"/> with its usual values, argument
        /// <paramref name="at"/> replaced by <paramref name="value"/> when not negative.</summary>
        internal Outcome Call(MechanicalOperation op, int at = -1, Object value = null)
        {
            Object[] args = UsualArguments(op);
            if (at >= 0) args[at] = value;
            Object receiver = Receiver(op);
            Object[] all = args.Concat(new Object[] { null }).ToArray();
            int before = RequestCount();
            Object result;
            try
            {
                result = op.Method.Invoke(receiver, all);
            }
            catch (TargetInvocationException e)
            {
                throw e.InnerException;
            }
            Outcome outcome = new Outcome { Code = (ErrorCode)all[all.Length - 1], Value = result, HasValue = op.Result != null,
                                           Sent = Commands(RequestsFrom(before)) };
            Assert.IsNotNull(outcome.Code, op.Native);
            return outcome;
        }

        /// <summary>Calls <paramref name="op"/> with its usual values; when the operation has an
        /// expected outcome, the call sends its requests and reports the code and value expected.</summary>
        internal Outcome AssertUsualOutcome(MechanicalOperation op)
        {
            return AssertExpected(op.Native, Call(op));
        }

        /// <summary>Compares <paramref name="o"/> with the outcome expected under
        /// <paramref name="key"/>, when there is one.</summary>
        internal static Outcome AssertExpected(String key, Outcome o)
        {
            String expected;
            if (OperationRequests.Expected.TryGetValue(key, out expected)) Assert.AreEqual(expected, o.ToString(), key);
            return o;
        }
    }
}
