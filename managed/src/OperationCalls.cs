// What the wrappers of the robot operations share: value types as they cross, list blobs of
// texts and numbers, and the joint count of each arm class.

using System;
using System.Collections.Generic;

namespace velmora.clr
{
    internal static class OperationCalls
    {
        internal const int ValueInt = 0;
        internal const int ValueFloat = 1;
        internal const int ValueBool = 2;
        internal const int ValueDouble = 3;
        internal const int ValueText = 4;
        internal const int ValueDoubles = 5;
        internal const int ValueFrame = 6;
        internal const int ValueTexts = 7;

        /// <summary>A list blob of texts; null is the empty list.</summary>
        internal static byte[] Texts(IList<String> texts)
        {
            return RecordCodec.Encode(texts ?? new String[0], RecordCodec.WriteTexts);
        }

        /// <summary>Enumerators as the int32 values they cross as; null is none.</summary>
        internal static int[] Values<T>(T[] items) where T : struct
        {
            int[] values = new int[items == null ? 0 : items.Length];
            for (int i = 0; i < values.Length; ++i) values[i] = Convert.ToInt32(items[i]);
            return values;
        }

        internal static double[] Doubles(IntPtr buffer)
        {
            return RecordCodec.Decode(NativeCore.TakeBytes(buffer), RecordCodec.ReadDoubles).ToArray();
        }

        internal static List<String> TextList(IntPtr buffer)
        {
            return RecordCodec.Decode(NativeCore.TakeBytes(buffer), RecordCodec.ReadTexts);
        }

        internal static int JointCount(RobotKind kind)
        {
            switch (kind)
            {
                case RobotKind.Sorn3: return 3;
                case RobotKind.Sorn4: return 4;
                case RobotKind.OstraLite: return 5;
                case RobotKind.OstraMax:
                case RobotKind.Lyn: return 7;
                default: return 6;
            }
        }
    }
}
