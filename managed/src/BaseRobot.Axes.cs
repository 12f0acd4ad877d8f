// External axes, mechanical units and the rail. Values cross as blobs of their type; the typed
// overloads over these helpers are written from the `overloads` of managed/abi/operations.toml.

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
    }
}
