// Conversions between managed values and their crossing forms (flat arrays, native texts, error
// codes). The wrappers of the robot classes and extensions use these and add no rules of their
// own.

using System;

namespace velmora.clr
{
    internal static class Conversions
    {
        internal const int FrameValues = 6;
        internal const int LoadValues = 7;
        internal const int ToolsetValues = 2 * FrameValues + LoadValues;
        internal const int CalibrationValues = FrameValues + 3;
        internal const int KeypadFlags = 7;

        /// <summary>Code 259 ("argument invalid") of an argument refused before any native
        /// call.</summary>
        internal const int ArgumentInvalid = 259;

        /// <summary>A managed text as a native one: UTF-8, cut at the first U+0000; null is
        /// the empty text.</summary>
        internal static byte[] convertString(String text)
        {
            return Utf8.ToNative(text);
        }

        /// <summary>A new <see cref="ErrorCode"/> with the value and the message of its
        /// category in the language in force now; success too.</summary>
        internal static ErrorCode convertErrorCode(VelErr ec)
        {
            return new ErrorCode(ec.value, NativeCore.ErrorMessage(ec.value, ec.category));
        }

        /// <summary>The result of an operation that refused its arguments and sent nothing.</summary>
        internal static ErrorCode argumentInvalid()
        {
            return convertErrorCode(new VelErr { value = ArgumentInvalid, category = VelErr.Sdk });
        }

        /// <summary>Exactly <paramref name="n"/> values for a fixed-size native array (joints,
        /// 6-vectors): a longer array is cut; a shorter one gives null, and the operation then
        /// reports <see cref="argumentInvalid"/> instead of sending zeros as valid limits,
        /// sensitivities or stiffnesses. A null array throws
        /// <see cref="NullReferenceException"/>.</summary>
        internal static double[] fixedArray(double[] values, int n)
        {
            if (values == null) throw new NullReferenceException();
            if (values.Length < n) return null;
            if (values.Length == n) return values;
            double[] result = new double[n];
            Array.Copy(values, result, n);
            return result;
        }

        /// <summary><paramref name="n"/> values, zero-padded or cut: only for inputs whose
        /// zero is a natural default (the auxiliary point of a frame calibration).</summary>
        internal static double[] paddedArray(double[] values, int n)
        {
            if (values == null) throw new NullReferenceException();
            double[] result = new double[n];
            Array.Copy(values, result, Math.Min(values.Length, n));
            return result;
        }

        /// <summary>Elements 0-2 of <c>trans</c> and of <c>rpy</c>.</summary>
        internal static void frameToValues(Frame frame, double[] values, int at)
        {
            for (int i = 0; i < 3; ++i)
            {
                values[at + i] = frame.trans[i];
                values[at + 3 + i] = frame.rpy[i];
            }
        }

        internal static double[] frameToValues(Frame frame)
        {
            double[] values = new double[FrameValues];
            frameToValues(frame, values, 0);
            return values;
        }

        internal static Frame frameFromValues(double[] values, int at)
        {
            double[] trans = new double[3];
            double[] rpy = new double[3];
            Array.Copy(values, at, trans, 0, 3);
            Array.Copy(values, at + 3, rpy, 0, 3);
            return new Frame(trans, rpy);
        }

        internal static void loadToValues(Load load, double[] values, int at)
        {
            values[at] = load.mass;
            for (int i = 0; i < 3; ++i)
            {
                values[at + 1 + i] = load.cog[i];
                values[at + 4 + i] = load.inertia[i];
            }
        }

        internal static double[] loadToValues(Load load)
        {
            double[] values = new double[LoadValues];
            loadToValues(load, values, 0);
            return values;
        }

        internal static Load loadFromValues(double[] values, int at)
        {
            double[] cog = new double[3];
            double[] inertia = new double[3];
            Array.Copy(values, at + 1, cog, 0, 3);
            Array.Copy(values, at + 4, inertia, 0, 3);
            return new Load(values[at], cog, inertia);
        }

        /// <summary>End frame, reference frame, load.</summary>
        internal static double[] toolsetToValues(Toolset toolset)
        {
            double[] values = new double[ToolsetValues];
            frameToValues(toolset.end, values, 0);
            frameToValues(toolset.reference, values, FrameValues);
            loadToValues(toolset.load, values, 2 * FrameValues);
            return values;
        }

        internal static Toolset toolsetFromValues(double[] values)
        {
            Toolset toolset = new Toolset();
            toolset.end = frameFromValues(values, 0);
            toolset.reference = frameFromValues(values, FrameValues);
            toolset.load = loadFromValues(values, 2 * FrameValues);
            return toolset;
        }

        internal static FrameCalibrationResult calibrationFromValues(double[] values)
        {
            double[] errors = new double[3];
            Array.Copy(values, FrameValues, errors, 0, 3);
            return new FrameCalibrationResult(frameFromValues(values, 0), errors);
        }

        internal static KeyPadState keypadFromFlags(byte[] flags)
        {
            KeyPadState state = new KeyPadState();
            state.key1_state = flags[0] != 0;
            state.key2_state = flags[1] != 0;
            state.key3_state = flags[2] != 0;
            state.key4_state = flags[3] != 0;
            state.key5_state = flags[4] != 0;
            state.key6_state = flags[5] != 0;
            state.key7_state = flags[6] != 0;
            return state;
        }

        /// <summary>A flag crosses as one byte, never as the runtime's 4-byte bool.</summary>
        internal static byte flag(bool value)
        {
            return value ? (byte)1 : (byte)0;
        }

        internal static byte[] flagsOf(bool[] values)
        {
            byte[] flags = new byte[values.Length];
            for (int i = 0; i < values.Length; ++i) flags[i] = flag(values[i]);
            return flags;
        }

        internal static bool[] boolsOf(byte[] flags)
        {
            bool[] values = new bool[flags.Length];
            for (int i = 0; i < flags.Length; ++i) values[i] = flags[i] != 0;
            return values;
        }
    }
}
