using System;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    [TestFixture]
    public class ErrorTests : ManagedTest
    {
        [TestCase(0, VelErr.Sdk, 1, "success")]
        [TestCase(0, VelErr.Sdk, 0, "操作成功完成")]
        [TestCase(-260, VelErr.Sdk, 1, "protocol mismatch")]
        [TestCase(-260, VelErr.Sdk, 0, "协议不匹配")]
        [TestCase(259, VelErr.Sdk, 1, "argument invalid")]
        [TestCase(0, VelErr.System, 1, "Success")]
        public void ErrorCodeCarriesValueAndMessageOfItsCategory(int value, int category, int english,
                                                                 String message)
        {
            TestSim.SetLanguage(english);
            VelErr crossed;
            NativeCore.Check(TestSim.vts_make_error(value, category, out crossed));
            Assert.AreEqual(category, crossed.category);

            ErrorCode ec = Conversions.convertErrorCode(crossed);

            Assert.AreEqual(value, ec.value);
            Assert.AreEqual(message, ec.message);
        }

        [Test]
        public void RefusedArgumentIs259InTheLanguageInForce()
        {
            Assert.AreEqual("argument invalid", Conversions.argumentInvalid().message);
            TestSim.SetLanguage(0);
            ErrorCode ec = Conversions.argumentInvalid();
            Assert.AreEqual(259, ec.value);
            Assert.AreEqual("参数错误,参数类型或个数错误", ec.message);
        }

        [TestCase(0, 1, "连接失败 🤖 at 机器人-01", "连接失败 🤖 at 机器人-01")]
        [TestCase(1, 1, "refused", "network: refused")]
        [TestCase(1, 0, "refused", "网络异常: refused")]
        [TestCase(2, 1, "ignored", "unknown exception")]
        public void NativeExceptionBecomesApiExceptionWithTheNativeText(int kind, int english,
                                                                        String text, String message)
        {
            TestSim.SetLanguage(english);
            ApiException e = Assert.Throws<ApiException>(
                () => NativeCore.Check(TestSim.vts_throw(kind, Utf8.ToNative(text))));
            Assert.AreEqual(message, e.Message);
            Assert.IsInstanceOf<ApplicationException>(e);
            // The text was taken: the next successful call is not haunted by it.
            Assert.AreEqual("0.7.1", NativeCore.SdkVersion());
        }

        [Test]
        public void ApiExceptionKeepsTheMessageItWasGiven()
        {
            Assert.AreEqual("机器人", new ApiException("机器人").Message);
        }
    }
}
