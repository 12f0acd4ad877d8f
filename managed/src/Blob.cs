// The managed half of the flat interface's codec (native/abi_codec.h): little-endian integers
// and doubles, one byte per flag, a text as an int32 byte count and its UTF-8 bytes, a list as
// an int32 count and its elements.

using System;

namespace velmora.clr
{
    internal sealed class BlobWriter
    {
        private byte[] bytes_ = new byte[64];
        private int length_;

        private void Reserve(int n)
        {
            if (length_ + n <= bytes_.Length) return;
            int size = Math.Max(bytes_.Length * 2, length_ + n);
            Array.Resize(ref bytes_, size);
        }

        private void Little(ulong value, int width)
        {
            Reserve(width);
            for (int i = 0; i < width; ++i) bytes_[length_++] = (byte)(value >> (8 * i));
        }

        public void U8(byte value) { Little(value, 1); }

        public void Flag(bool value) { U8(Conversions.flag(value)); }

        public void U16(ushort value) { Little(value, 2); }

        public void I32(int value) { Little((uint)value, 4); }

        public void U32(uint value) { Little(value, 4); }

        public void F64(double value) { Little((ulong)BitConverter.DoubleToInt64Bits(value), 8); }

        public void Count(int n) { I32(n); }

        /// <summary>UTF-8 up to the first U+0000, as every text handed to native code.</summary>
        public void Text(String value)
        {
            byte[] utf8 = Utf8.Bytes(value);
            Count(utf8.Length);
            Raw(utf8, utf8.Length);
        }

        /// <summary>The first <paramref name="count"/> bytes of <paramref name="data"/>.</summary>
        public void Raw(byte[] data, int count)
        {
            Reserve(count);
            Array.Copy(data, 0, bytes_, length_, count);
            length_ += count;
        }

        public byte[] ToArray()
        {
            byte[] result = new byte[length_];
            Array.Copy(bytes_, result, length_);
            return result;
        }
    }

    /// <summary>Reads a blob of the native library. A blob that does not hold what is read
    /// throws <see cref="ApiException"/> and never reads out of bounds.</summary>
    internal sealed class BlobReader
    {
        private readonly byte[] bytes_;
        private int pos_;

        public BlobReader(byte[] bytes)
        {
            bytes_ = bytes;
        }

        public int Remaining { get { return bytes_.Length - pos_; } }

        private int Take(int n)
        {
            if (n < 0 || n > Remaining) throw new ApiException("malformed record: too short");
            int at = pos_;
            pos_ += n;
            return at;
        }

        private ulong Little(int width)
        {
            int at = Take(width);
            ulong value = 0;
            for (int i = 0; i < width; ++i) value |= (ulong)bytes_[at + i] << (8 * i);
            return value;
        }

        public byte U8() { return (byte)Little(1); }

        public bool Flag() { return U8() != 0; }

        public ushort U16() { return (ushort)Little(2); }

        public int I32() { return (int)(uint)Little(4); }

        public uint U32() { return (uint)Little(4); }

        public double F64() { return BitConverter.Int64BitsToDouble((long)Little(8)); }

        /// <summary>An element count; the elements take at least
        /// <paramref name="minElementSize"/> bytes each.</summary>
        public int Count(int minElementSize)
        {
            int n = I32();
            if (n < 0 || (minElementSize > 0 && n > Remaining / minElementSize))
                throw new ApiException("malformed record: bad count");
            return n;
        }

        public String Text()
        {
            int n = Count(1);
            return Utf8.FromNative(bytes_, Take(n), n);
        }

        public byte[] Raw(int count)
        {
            byte[] result = new byte[count];
            Array.Copy(bytes_, Take(count), result, 0, count);
            return result;
        }

        /// <summary>Refuses bytes left over: a blob holds exactly one record.</summary>
        public void Finish()
        {
            if (Remaining != 0) throw new ApiException("malformed record: bytes left over");
        }
    }
}
