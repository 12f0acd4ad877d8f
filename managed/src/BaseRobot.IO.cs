// The controller's registers: every type crosses as a double. The typed overloads over these
// helpers are written from the `overloads` of managed/abi/operations.toml.

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
    }
}
