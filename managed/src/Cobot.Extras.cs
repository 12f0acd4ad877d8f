// Drag teaching, collision detection, force sensor, keypad, real-time client and the tool-end
// board of collaborative arms.

using System;
using System.Runtime.InteropServices;

namespace velmora.clr
{
    public partial class Cobot
    {
        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_cobot_enable_drag(RobotHandle robot, int space, int type, byte dragButton,
                                                        out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_cobot_disable_drag(RobotHandle robot, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_cobot_enable_collision_detection(RobotHandle robot, double[] sensitivity,
                                                                       int count, int behaviour,
                                                                       double fallbackCompliance, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_cobot_disable_collision_detection(RobotHandle robot, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_cobot_calibrate_force_sensor(RobotHandle robot, byte allAxes, int axisIndex,
                                                                   out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_cobot_keypad_state(RobotHandle robot, [Out] byte[] keys, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_cobot_use_rci_client(RobotHandle robot, byte use, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_cobot_set_flangebox_vout(RobotHandle robot, int vout, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_cobot_set_flangebox_rs485(RobotHandle robot, int vout, byte rs485,
                                                                out VelErr ec);

        public void enableDrag(DragOpt.Space space, DragOpt.Type type, bool enable_drag_button, out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_cobot_enable_drag(Handle, (int)space, (int)type,
                                                           Conversions.flag(enable_drag_button), out e), e);
        }

        /// <summary>As the other form without the drag button.</summary>
        public void enableDrag(DragOpt.Space space, DragOpt.Type type, out ErrorCode ec)
        {
            enableDrag(space, type, false, out ec);
        }

        public void disableDrag(out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_cobot_disable_drag(Handle, out e), e);
        }

        /// <summary>One sensitivity per joint: a shorter array is refused with 259 and nothing
        /// is sent (a missing joint would get sensitivity 0); a longer one is cut.</summary>
        public void enableCollisionDetection(double[] sensitivity, StopLevel behaviour, double fallback_compliance,
                                             out ErrorCode ec)
        {
            RobotHandle robot = Handle;
            double[] given = Conversions.fixedArray(sensitivity, OperationCalls.JointCount(Kind));
            if (given == null)
            {
                ec = Conversions.argumentInvalid();
                return;
            }
            VelErr e;
            ec = Done(vel_cobot_enable_collision_detection(robot, given, given.Length, (int)behaviour,
                                                                          fallback_compliance, out e), e);
        }

        public void disableCollisionDetection(out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_cobot_disable_collision_detection(Handle, out e), e);
        }

        public void calibrateForceSensor(bool all_axes, int axis_index, out ErrorCode ec)
        {
            VelErr e;
            ec = Done(
                vel_cobot_calibrate_force_sensor(Handle, Conversions.flag(all_axes), axis_index, out e), e);
        }

        public KeyPadState getKeypadState(out ErrorCode ec)
        {
            byte[] keys = new byte[Conversions.KeypadFlags];
            VelErr e;
            ec = Done(vel_cobot_keypad_state(Handle, keys, out e), e);
            return Conversions.keypadFromFlags(keys);
        }

        /// <summary>Keys 1 to 7 at indices 0 to 6; seven values also on failure.</summary>
        public bool[] getKeypadStateArray(out ErrorCode ec)
        {
            KeyPadState state = getKeypadState(out ec);
            return new bool[]
            {
                state.key1_state, state.key2_state, state.key3_state, state.key4_state, state.key5_state,
                state.key6_state, state.key7_state
            };
        }

        public void useRciClient(bool use, out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_cobot_use_rci_client(Handle, Conversions.flag(use), out e), e);
        }

        public void setFlangeboxVout(FlangeboxOpt.Vout opt, out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_cobot_set_flangebox_vout(Handle, (int)opt, out e), e);
        }

        public void setFlangeboxRS485(FlangeboxOpt.Vout opt, bool if_rs485, out ErrorCode ec)
        {
            VelErr e;
            ec = Done(
                vel_cobot_set_flangebox_rs485(Handle, (int)opt, Conversions.flag(if_rs485), out e), e);
        }
    }
}
