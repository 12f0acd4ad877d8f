// The core exports of libvelmora.so and the rules of crossing them: status check, native-owned
// buffers, error messages.

using System;
using System.Runtime.InteropServices;

namespace velmora.clr
{
    /// <summary>An error code as it crosses: its value and the category that names its
    /// message.</summary>
    [StructLayout(LayoutKind.Sequential)]
    internal struct VelErr
    {
        public int value;
        public int category;

        internal const int System = 0;
        internal const int Sdk = 1;
        internal const int Generic = 2;
        internal const int Other = 3;
    }

    internal static partial class NativeCore
    {
        internal const string Library = "velmora";

        internal const int Ok = 0;
        internal const int StdException = 1;
        internal const int UnknownException = 2;

        /// <summary>Turns a failed export's status into <see cref="ApiException"/> carrying
        /// the native exception's text. Call it on the thread that made the call, right after
        /// it: the text is kept per thread.</summary>
        internal static void Check(int status)
        {
            if (status == Ok) return;
            IntPtr text;
            String message = vel_take_last_exception(out text) == Ok && text != IntPtr.Zero
                ? TakeText(text)
                : "";
            throw new ApiException(message);
        }

        /// <summary>The bytes of a native buffer, which is freed whatever happens.</summary>
        internal static byte[] TakeBytes(IntPtr buf)
        {
            if (buf == IntPtr.Zero) return new byte[0];
            try
            {
                IntPtr data;
                long length;
                Check(vel_buf_view(buf, out data, out length));
                byte[] bytes = new byte[checked((int)length)];
                if (length > 0) Marshal.Copy(data, bytes, 0, bytes.Length);
                return bytes;
            }
            finally
            {
                vel_buf_free(buf);
            }
        }

        /// <summary>A native text, decoded as UTF-8.</summary>
        internal static String TakeText(IntPtr buf)
        {
            return Utf8.FromNative(TakeBytes(buf));
        }

        internal static String ErrorMessage(int value, int category)
        {
            IntPtr text;
            Check(vel_error_message(value, category, out text));
            return TakeText(text);
        }

        internal static String SdkVersion()
        {
            IntPtr text;
            Check(vel_sdk_version(out text));
            return TakeText(text);
        }
    }
}
