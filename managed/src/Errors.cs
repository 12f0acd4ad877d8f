// The managed result of an operation and the exception that carries a native failure.

using System;

namespace velmora.clr
{
    /// <summary>An operation's result code and its message; 0 is success, and every operation
    /// that reports one writes a new one, success included.</summary>
    public class ErrorCode
    {
        private readonly int value_;
        private readonly String message_;

        public ErrorCode(int v, String m)
        {
            value_ = v;
            message_ = m;
        }

        public int value { get { return value_; } }

        public String message { get { return message_; } }
    }

    /// <summary>A failure inside the native library, with the library's own message.</summary>
    public class ApiException : ApplicationException
    {
        public ApiException(String msg) : base(msg)
        {
        }
    }
}
