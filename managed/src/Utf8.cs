// Text crosses as UTF-8 both ways, so every text survives a round trip byte for byte. The
// runtime's own string marshalling is not used: on Mono it throws on a lone surrogate, where
// this replaces it with U+FFFD.

using System;
using System.Text;

namespace velmora.clr
{
    internal static class Utf8
    {
        /// <summary>The UTF-8 bytes of a managed text up to its first U+0000 (a native text
        /// ends there); null is the empty text.</summary>
        internal static byte[] Bytes(String text)
        {
            if (String.IsNullOrEmpty(text)) return new byte[0];
            int end = text.IndexOf('\0');
            return Encoding.UTF8.GetBytes(end < 0 ? text : text.Substring(0, end));
        }

        /// <summary>The same bytes with the terminating NUL, ready for a native call.</summary>
        internal static byte[] ToNative(String text)
        {
            if (String.IsNullOrEmpty(text)) return new byte[1];
            int end = text.IndexOf('\0');
            String part = end < 0 ? text : text.Substring(0, end);
            byte[] bytes = new byte[Encoding.UTF8.GetByteCount(part) + 1];
            Encoding.UTF8.GetBytes(part, 0, part.Length, bytes, 0);
            return bytes;
        }

        /// <summary>Native bytes as text; invalid sequences become U+FFFD, NUL bytes stay, and
        /// no bytes give <see cref="String.Empty"/>.</summary>
        internal static String FromNative(byte[] bytes, int index, int count)
        {
            return count == 0 ? String.Empty : Encoding.UTF8.GetString(bytes, index, count);
        }

        internal static String FromNative(byte[] bytes)
        {
            return FromNative(bytes, 0, bytes.Length);
        }
    }
}
