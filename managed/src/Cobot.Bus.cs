// The tool-end bus of collaborative arms: Modbus RTU, RS485 and CAN.

using System;
using System.Collections.Generic;

namespace velmora.clr
{
    public partial class Cobot
    {
        /// <summary>Reads or writes <paramref name="num"/> registers; <paramref name="data_array"/>
        /// goes in as it is (null: empty) and is replaced by what the operation leaves in
        /// it.</summary>
        public void FBRWModbusRTUReg(int slave_addr, int fun_cmd, int reg_addr, String data_type, int num,
                                     ref int[] data_array, bool if_crc_reverse, out ErrorCode ec)
        {
            int[] given = data_array ?? new int[0];
            IntPtr result;
            VelErr e;
            int status = vel_cobot_modbus_rtu_reg(Handle, slave_addr, fun_cmd, reg_addr,
                                                  Conversions.convertString(data_type), num, given, given.Length,
                                                  Conversions.flag(if_crc_reverse), out result, out e);
            NativeCore.Check(status);
            data_array = RecordCodec.Decode(NativeCore.TakeBytes(result),
                                            r => RecordCodec.ReadList(r, x => x.I32(), 4)).ToArray();
            ec = Conversions.convertErrorCode(e);
        }

        /// <summary>As <see cref="FBRWModbusRTUReg"/> for coils.</summary>
        public void FBRWModbusRTUCoil(int slave_addr, int fun_cmd, int coil_addr, int num, ref bool[] data_array,
                                      bool if_crc_reverse, out ErrorCode ec)
        {
            byte[] given = Conversions.flagsOf(data_array ?? new bool[0]);
            IntPtr result;
            VelErr e;
            int status = vel_cobot_modbus_rtu_coil(Handle, slave_addr, fun_cmd, coil_addr, num, given, given.Length,
                                                   Conversions.flag(if_crc_reverse), out result, out e);
            NativeCore.Check(status);
            data_array = RecordCodec.Decode(NativeCore.TakeBytes(result),
                                            r => RecordCodec.ReadList(r, x => x.Flag(), 1)).ToArray();
            ec = Conversions.convertErrorCode(e);
        }

        /// <summary>Sends <paramref name="send_data"/> and reads into
        /// <paramref name="recv_data"/>, which goes in as it is (null: empty) and is replaced by
        /// the bytes received.</summary>
        public void FBRS485SendData(int send_byte, int rev_byte, byte[] send_data, ref byte[] recv_data,
                                    out ErrorCode ec)
        {
            byte[] sent = send_data ?? new byte[0];
            byte[] into = recv_data ?? new byte[0];
            IntPtr received;
            VelErr e;
            int status = vel_cobot_rs485_send_data(Handle, send_byte, rev_byte, sent, sent.Length, into, into.Length,
                                                   out received, out e);
            NativeCore.Check(status);
            recv_data = NativeCore.TakeBytes(received);
            ec = Conversions.convertErrorCode(e);
        }

        /// <summary>Waits up to <paramref name="timeout_ms"/> for a frame; all zeros when none
        /// came.</summary>
        public void CANReceiveData(int timeout_ms, String data_type, out CANFrame recv_frame, out ErrorCode ec)
        {
            IntPtr frame;
            VelErr e;
            int status = vel_cobot_can_receive(Handle, timeout_ms, Conversions.convertString(data_type), out frame,
                                               out e);
            NativeCore.Check(status);
            recv_frame = RecordCodec.Decode(NativeCore.TakeBytes(frame), RecordCodec.ReadCanFrame);
            ec = Conversions.convertErrorCode(e);
        }

        /// <summary>Sends the frames in order (null: none).</summary>
        public void CANSendData(String data_type, CANFrame[] send_frame, out ErrorCode ec)
        {
            byte[] frames = RecordCodec.Encode<IList<CANFrame>>(send_frame ?? new CANFrame[0],
                                                                (w, list) => RecordCodec.WriteList(w, list,
                                                                    RecordCodec.WriteCanFrame));
            VelErr e;
            ec = Done(
                vel_cobot_can_send(Handle, Conversions.convertString(data_type), frames, frames.Length, out e), e);
        }
    }
}
