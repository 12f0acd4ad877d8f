// External axes, mechanical units and the rail. Values cross as blobs of their type.

using System;
using System.Text;

namespace velmora.clr
{
    public partial class BaseRobot
    {
        private static readonly UTF8Encoding StrictUtf8 = new UTF8Encoding(false, true);

        /// <summary>A unit or axis name as a native text: null throws
        /// <see cref="ArgumentNullException"/> and a text that has no UTF-8 form (a lone
        /// surrogate) <see cref="ArgumentException"/>, before any native call.</summary>
        private static byte[] StrictName(String text)
        {
            if (text == null) throw new ArgumentNullException(null, "NULLPTR is not supported for this conversion.");
            int end = text.IndexOf('\0');
            String part = end < 0 ? text : text.Substring(0, end);
            try
            {
                byte[] encoded = StrictUtf8.GetBytes(part);
                byte[] bytes = new byte[encoded.Length + 1];
                Array.Copy(encoded, bytes, encoded.Length);
                return bytes;
            }
            catch (EncoderFallbackException)
            {
                throw new ArgumentException("Conversion from WideChar to MultiByte failed.  Please check the content "
                                            + "of the string and/or locale settings.");
            }
        }

        private BlobReader GetRail(String name, int type, out ErrorCode ec)
        {
            IntPtr value;
            VelErr e;
            int status = vel_robot_get_rail_parameter(Handle, Conversions.convertString(name), type, out value, out e);
            NativeCore.Check(status);
            BlobReader r = new BlobReader(NativeCore.TakeBytes(value));
            ec = Conversions.convertErrorCode(e);
            return r;
        }

        private void SetRail(String name, int type, BlobWriter value, out ErrorCode ec)
        {
            byte[] bytes = value.ToArray();
            VelErr e;
            ec = Done(vel_robot_set_rail_parameter(Handle, Conversions.convertString(name), type, bytes,
                                                                  bytes.Length, out e), e);
        }

        private delegate int UnitQuery(RobotHandle robot, byte[] name, byte[] info, int type, out IntPtr value,
                                       out VelErr ec);

        private BlobReader GetUnit(UnitQuery query, String name, String info, int type, out ErrorCode ec)
        {
            byte[] unit = StrictName(name);
            byte[] item = StrictName(info);
            IntPtr value;
            VelErr e;
            int status = query(Handle, unit, item, type, out value, out e);
            NativeCore.Check(status);
            BlobReader r = new BlobReader(NativeCore.TakeBytes(value));
            ec = Conversions.convertErrorCode(e);
            return r;
        }

        private static T Finished<T>(BlobReader r, T value)
        {
            r.Finish();
            return value;
        }

        public void setRailParameter(String name, int value, out ErrorCode ec)
        {
            BlobWriter w = new BlobWriter();
            w.I32(value);
            SetRail(name, OperationCalls.ValueInt, w, out ec);
        }

        public void setRailParameter(String name, double value, out ErrorCode ec)
        {
            BlobWriter w = new BlobWriter();
            w.F64(value);
            SetRail(name, OperationCalls.ValueDouble, w, out ec);
        }

        public void setRailParameter(String name, bool value, out ErrorCode ec)
        {
            BlobWriter w = new BlobWriter();
            w.Flag(value);
            SetRail(name, OperationCalls.ValueBool, w, out ec);
        }

        public void setRailParameter(String name, String value, out ErrorCode ec)
        {
            BlobWriter w = new BlobWriter();
            w.Text(value);
            SetRail(name, OperationCalls.ValueText, w, out ec);
        }

        public void setRailParameter(String name, double[] value, out ErrorCode ec)
        {
            BlobWriter w = new BlobWriter();
            RecordCodec.WriteDoubles(w, value);
            SetRail(name, OperationCalls.ValueDoubles, w, out ec);
        }

        public void setRailParameter(String name, Frame value, out ErrorCode ec)
        {
            BlobWriter w = new BlobWriter();
            RecordCodec.WriteFrame(w, value);
            SetRail(name, OperationCalls.ValueFrame, w, out ec);
        }

        public void getRailParameter(String name, out int value, out ErrorCode ec)
        {
            BlobReader r = GetRail(name, OperationCalls.ValueInt, out ec);
            value = Finished(r, r.I32());
        }

        public void getRailParameter(String name, out double value, out ErrorCode ec)
        {
            BlobReader r = GetRail(name, OperationCalls.ValueDouble, out ec);
            value = Finished(r, r.F64());
        }

        public void getRailParameter(String name, out bool value, out ErrorCode ec)
        {
            BlobReader r = GetRail(name, OperationCalls.ValueBool, out ec);
            value = Finished(r, r.Flag());
        }

        public void getRailParameter(String name, out String value, out ErrorCode ec)
        {
            BlobReader r = GetRail(name, OperationCalls.ValueText, out ec);
            value = Finished(r, r.Text());
        }

        public void getRailParameter(String name, out double[] value, out ErrorCode ec)
        {
            BlobReader r = GetRail(name, OperationCalls.ValueDoubles, out ec);
            value = Finished(r, RecordCodec.ReadDoubles(r).ToArray());
        }

        public void getRailParameter(String name, out Frame value, out ErrorCode ec)
        {
            BlobReader r = GetRail(name, OperationCalls.ValueFrame, out ec);
            value = Finished(r, RecordCodec.ReadFrame(r));
        }

        public void getMechUnit(String name, String info, out String[] value, out ErrorCode ec)
        {
            BlobReader r = GetUnit(vel_robot_get_mech_unit, name, info, OperationCalls.ValueTexts, out ec);
            value = Finished(r, RecordCodec.ReadTexts(r).ToArray());
        }

        public void getMechUnit(String name, String info, out int value, out ErrorCode ec)
        {
            BlobReader r = GetUnit(vel_robot_get_mech_unit, name, info, OperationCalls.ValueInt, out ec);
            value = Finished(r, r.I32());
        }

        public void getMechUnit(String name, String info, out bool value, out ErrorCode ec)
        {
            BlobReader r = GetUnit(vel_robot_get_mech_unit, name, info, OperationCalls.ValueBool, out ec);
            value = Finished(r, r.Flag());
        }

        public void getExtAxisInfo(String name, String info, out String[] value, out ErrorCode ec)
        {
            BlobReader r = GetUnit(vel_robot_get_ext_axis_info, name, info, OperationCalls.ValueTexts, out ec);
            value = Finished(r, RecordCodec.ReadTexts(r).ToArray());
        }

        public void getExtAxisInfo(String name, String info, out String value, out ErrorCode ec)
        {
            BlobReader r = GetUnit(vel_robot_get_ext_axis_info, name, info, OperationCalls.ValueText, out ec);
            value = Finished(r, r.Text());
        }

        public void getExtAxisInfo(String name, String info, out double value, out ErrorCode ec)
        {
            BlobReader r = GetUnit(vel_robot_get_ext_axis_info, name, info, OperationCalls.ValueDouble, out ec);
            value = Finished(r, r.F64());
        }

        public void getExtAxisInfo(String name, String info, out int value, out ErrorCode ec)
        {
            BlobReader r = GetUnit(vel_robot_get_ext_axis_info, name, info, OperationCalls.ValueInt, out ec);
            value = Finished(r, r.I32());
        }

        public void getExtAxisInfo(String name, String info, out bool value, out ErrorCode ec)
        {
            BlobReader r = GetUnit(vel_robot_get_ext_axis_info, name, info, OperationCalls.ValueBool, out ec);
            value = Finished(r, r.Flag());
        }
    }
}
