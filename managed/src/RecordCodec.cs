// The managed half of the records' blob forms (native/abi_records.h has the layouts), each in
// the direction it crosses.

using System;
using System.Collections.Generic;

namespace velmora.clr
{
    internal static class RecordCodec
    {
        // Tags of event values.
        internal const byte EventInt = 1;
        internal const byte EventDouble = 2;
        internal const byte EventText = 3;
        internal const byte EventFlag = 4;
        internal const byte EventError = 5;

        // Smallest blob forms, to bound a list's count before allocating.
        private const int MinFrame = 6 * 8;
        private const int MinPose = MinFrame + 8 + 4 + 4;
        private const int MinText = 4;

        internal delegate T Reader<T>(BlobReader r);
        internal delegate void Writer<T>(BlobWriter w, T value);

        internal static List<T> ReadList<T>(BlobReader r, Reader<T> read, int minElementSize)
        {
            int n = r.Count(minElementSize);
            List<T> list = new List<T>(n);
            for (int i = 0; i < n; ++i) list.Add(read(r));
            return list;
        }

        internal static void WriteList<T>(BlobWriter w, IList<T> list, Writer<T> write)
        {
            w.Count(list.Count);
            foreach (T element in list) write(w, element);
        }

        /// <summary>One whole blob as one record; bytes left over are refused.</summary>
        internal static T Decode<T>(byte[] blob, Reader<T> read)
        {
            BlobReader r = new BlobReader(blob);
            T record = read(r);
            r.Finish();
            return record;
        }

        internal static byte[] Encode<T>(T record, Writer<T> write)
        {
            BlobWriter w = new BlobWriter();
            write(w, record);
            return w.ToArray();
        }

        // Native to managed.

        private static double[] ReadTriple(BlobReader r)
        {
            return new double[] { r.F64(), r.F64(), r.F64() };
        }

        internal static Frame ReadFrame(BlobReader r)
        {
            double[] trans = ReadTriple(r);
            return new Frame(trans, ReadTriple(r));
        }

        internal static CartesianPosition ReadPose(BlobReader r)
        {
            CartesianPosition pose = new CartesianPosition();
            pose.trans = ReadTriple(r);
            pose.rpy = ReadTriple(r);
            pose.elbow = r.F64();
            int n = r.Count(4);
            for (int i = 0; i < n; ++i) pose.confData.Add(r.I32());
            n = r.Count(8);
            for (int i = 0; i < n; ++i) pose.external.Add(r.F64());
            return pose;
        }

        internal static Load ReadLoad(BlobReader r)
        {
            double mass = r.F64();
            double[] cog = ReadTriple(r);
            return new Load(mass, cog, ReadTriple(r));
        }

        internal static Info ReadInfo(BlobReader r)
        {
            Info info = new Info();
            info.id = r.Text();
            info.mac = r.Text();
            info.version = r.Text();
            info.type = r.Text();
            info.joint_num = r.I32();
            return info;
        }

        internal static WorkToolInfo ReadWorkToolInfo(BlobReader r)
        {
            String name = r.Text();
            String alias = r.Text();
            bool held = r.Flag();
            Frame pos = ReadFrame(r);
            return new WorkToolInfo(name, alias, held, pos, ReadLoad(r));
        }

        internal static LogInfo ReadLogInfo(BlobReader r)
        {
            int id = r.I32();
            String timestamp = r.Text();
            String text = r.Text();
            return new LogInfo(id, timestamp, text, r.Text());
        }

        internal static RLProjectInfo ReadProjectInfo(BlobReader r)
        {
            RLProjectInfo info = new RLProjectInfo(r.Text());
            info.taskList.AddRange(ReadTexts(r));
            return info;
        }

        internal static SlaveInfo ReadSlaveInfo(BlobReader r)
        {
            SlaveInfo info = new SlaveInfo();
            info.vendorId = r.U32();
            info.productCode = r.U32();
            info.reversionNumber = r.U32();
            info.slaveAddr = r.U16();
            info.slaveId = r.U32();
            info.alStatus = r.U16();
            info.slaveName = r.Text();
            return info;
        }

        internal static StateList ReadStateList(BlobReader r)
        {
            StateList state = new StateList();
            state.joint_pos = ReadDoubles(r).ToArray();
            state.cart_pos = ReadPose(r);
            int n = r.Count(MinText + 1);
            state.digital_signals = new Tuple<String, bool>[n];
            for (int i = 0; i < n; ++i)
            {
                String name = r.Text();
                state.digital_signals[i] = Tuple.Create(name, r.Flag());
            }
            n = r.Count(MinText + 8);
            state.analog_signals = new Tuple<String, double>[n];
            for (int i = 0; i < n; ++i)
            {
                String name = r.Text();
                state.analog_signals[i] = Tuple.Create(name, r.F64());
            }
            state.operation_mode = (OperateMode)r.I32();
            state.speed_override = r.F64();
            return state;
        }

        /// <summary>An event's information: int, double, String, bool or
        /// <see cref="ErrorCode"/> values by name.</summary>
        internal static Dictionary<String, Object> ReadEventInfo(BlobReader r)
        {
            int n = r.Count(MinText + 2);
            Dictionary<String, Object> info = new Dictionary<String, Object>(n);
            for (int i = 0; i < n; ++i)
            {
                String key = r.Text();
                byte tag = r.U8();
                switch (tag)
                {
                    case EventInt: info[key] = r.I32(); break;
                    case EventDouble: info[key] = r.F64(); break;
                    case EventText: info[key] = r.Text(); break;
                    case EventFlag: info[key] = r.Flag(); break;
                    case EventError:
                        int value = r.I32();
                        r.I32();  // the category named the message, which comes along
                        info[key] = new ErrorCode(value, r.Text());
                        break;
                    default: throw new ApiException("malformed record: event value tag " + tag);
                }
            }
            return info;
        }

        internal static CANFrame ReadCanFrame(BlobReader r)
        {
            int id = r.I32();
            int format = r.I32();
            int type = r.I32();
            byte[] data = r.Raw(r.Count(1));
            return new CANFrame(id, format, type, data, r.I32());
        }

        internal static List<String> ReadTexts(BlobReader r)
        {
            return ReadList(r, x => x.Text(), MinText);
        }

        internal static List<double> ReadDoubles(BlobReader r)
        {
            return ReadList(r, x => x.F64(), 8);
        }

        internal static List<CartesianPosition> ReadPoses(BlobReader r)
        {
            return ReadList(r, ReadPose, MinPose);
        }

        // Managed to native. Arrays are read at indices 0-2 and lists whole, so a short array
        // throws IndexOutOfRangeException and a null one NullReferenceException, before any
        // native call.

        private static void WriteTriple(BlobWriter w, double[] values)
        {
            w.F64(values[0]);
            w.F64(values[1]);
            w.F64(values[2]);
        }

        internal static void WriteFrame(BlobWriter w, Frame frame)
        {
            WriteTriple(w, frame.trans);
            WriteTriple(w, frame.rpy);
        }

        internal static void WritePose(BlobWriter w, CartesianPosition pose)
        {
            WriteFrame(w, pose);
            w.F64(pose.elbow);
            WriteList(w, pose.confData, (x, v) => x.I32(v));
            WriteList(w, pose.external, (x, v) => x.F64(v));
        }

        /// <summary>A null offset, or one without a frame, crosses as none with a zero frame,
        /// which is what a native command starts with.</summary>
        internal static void WriteOffset(BlobWriter w, CartesianPosition.Offset offset)
        {
            if (offset == null || offset.frame == null)
            {
                w.I32((int)CartesianPosition.Offset.Type.none);
                WriteFrame(w, new Frame());
                return;
            }
            w.I32((int)offset.type);
            WriteFrame(w, offset.frame);
        }

        /// <summary>A null frame crosses as all zeros with no data.</summary>
        internal static void WriteCanFrame(BlobWriter w, CANFrame frame)
        {
            if (frame == null) frame = new CANFrame(0, 0, 0, null, 0);
            w.I32(frame.frame_id);
            w.I32(frame.frame_format);
            w.I32(frame.frame_type);
            w.Count(frame.data.Length);
            w.Raw(frame.data, frame.data.Length);
            w.I32(frame.frame_valid_length);
        }

        internal const int SdoBytes = 50;

        /// <summary>The six integers as they are; of <c>data</c> the first min(length, 50)
        /// bytes, the rest zero. A null item is all zeros.</summary>
        internal static void WriteSdo(BlobWriter w, SDOData item)
        {
            byte[] data = new byte[SdoBytes];
            if (item == null)
            {
                for (int i = 0; i < 6; ++i) w.I32(0);
                w.Raw(data, SdoBytes);
                return;
            }
            w.I32(item.index);
            w.I32(item.sub_index);
            w.I32(item.length);
            w.I32(item.over_time);
            w.I32(item.wait_time);
            w.I32(item.print_data);
            if (item.data != null)
            {
                int n = Math.Min(Math.Max(item.length, 0), SdoBytes);
                Array.Copy(item.data, data, Math.Min(n, item.data.Length));
            }
            w.Raw(data, SdoBytes);
        }

        internal static void WriteTexts(BlobWriter w, IList<String> texts)
        {
            WriteList(w, texts, (x, v) => x.Text(v));
        }

        internal static void WriteDoubles(BlobWriter w, IList<double> values)
        {
            WriteList(w, values, (x, v) => x.F64(v));
        }

        internal static void WritePoses(BlobWriter w, IList<CartesianPosition> poses)
        {
            WriteList(w, poses, WritePose);
        }
    }
}
