// Digital and analog I/O and the controller's registers.

using System;
using System.Collections.Generic;

namespace velmora.clr
{
    public partial class BaseRobot
    {
        private double ReadRegister(String name, uint index, int type, out ErrorCode ec)
        {
            double value;
            VelErr e;
            ec = Done(
                vel_robot_read_register(Handle, Conversions.convertString(name), index, type, out value, out e), e);
            return value;
        }

        private double[] ReadRegisterList(String name, int type, out ErrorCode ec)
        {
            IntPtr values;
            VelErr e;
            int status = vel_robot_read_register_list(Handle, Conversions.convertString(name), type, out values,
                                                      out e);
            NativeCore.Check(status);
            double[] read = OperationCalls.Doubles(values);
            ec = Conversions.convertErrorCode(e);
            return read;
        }

        private void WriteRegister(String name, uint index, int type, double value, out ErrorCode ec)
        {
            VelErr e;
            ec = Done(
                vel_robot_write_register(Handle, Conversions.convertString(name), index, type, value, out e), e);
        }

        private void WriteRegisterList(String name, uint index, int type, double[] values, out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_robot_write_register_list(Handle, Conversions.convertString(name), index,
                                                                   type, values, values.Length, out e), e);
        }

        /// <summary>Element <paramref name="index"/> of the register.</summary>
        public void readRegister(String name, uint index, out float value, out ErrorCode ec)
        {
            value = (float)ReadRegister(name, index, OperationCalls.ValueFloat, out ec);
        }

        public void readRegister(String name, uint index, out int value, out ErrorCode ec)
        {
            value = (int)ReadRegister(name, index, OperationCalls.ValueInt, out ec);
        }

        public void readRegister(String name, uint index, out bool value, out ErrorCode ec)
        {
            value = ReadRegister(name, index, OperationCalls.ValueBool, out ec) != 0;
        }

        /// <summary>The whole register.</summary>
        public void readRegister(String name, out List<float> value, out ErrorCode ec)
        {
            double[] read = ReadRegisterList(name, OperationCalls.ValueFloat, out ec);
            value = new List<float>(read.Length);
            foreach (double v in read) value.Add((float)v);
        }

        public void readRegister(String name, out List<int> value, out ErrorCode ec)
        {
            double[] read = ReadRegisterList(name, OperationCalls.ValueInt, out ec);
            value = new List<int>(read.Length);
            foreach (double v in read) value.Add((int)v);
        }

        public void readRegister(String name, out List<bool> value, out ErrorCode ec)
        {
            double[] read = ReadRegisterList(name, OperationCalls.ValueBool, out ec);
            value = new List<bool>(read.Length);
            foreach (double v in read) value.Add(v != 0);
        }

        public void writeRegister(String name, uint index, float value, out ErrorCode ec)
        {
            WriteRegister(name, index, OperationCalls.ValueFloat, value, out ec);
        }

        public void writeRegister(String name, uint index, int value, out ErrorCode ec)
        {
            WriteRegister(name, index, OperationCalls.ValueInt, value, out ec);
        }

        public void writeRegister(String name, uint index, bool value, out ErrorCode ec)
        {
            WriteRegister(name, index, OperationCalls.ValueBool, value ? 1 : 0, out ec);
        }

        public void writeRegister(String name, uint index, float[] value, out ErrorCode ec)
        {
            double[] values = new double[value.Length];
            for (int i = 0; i < values.Length; ++i) values[i] = value[i];
            WriteRegisterList(name, index, OperationCalls.ValueFloat, values, out ec);
        }

        public void writeRegister(String name, uint index, int[] value, out ErrorCode ec)
        {
            double[] values = new double[value.Length];
            for (int i = 0; i < values.Length; ++i) values[i] = value[i];
            WriteRegisterList(name, index, OperationCalls.ValueInt, values, out ec);
        }

        public void writeRegister(String name, uint index, bool[] value, out ErrorCode ec)
        {
            double[] values = new double[value.Length];
            for (int i = 0; i < values.Length; ++i) values[i] = value[i] ? 1 : 0;
            WriteRegisterList(name, index, OperationCalls.ValueBool, values, out ec);
        }
    }
}
