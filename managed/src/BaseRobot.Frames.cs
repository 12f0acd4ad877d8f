// Frames, tools and work objects: base frame, tool sets, the project's tools and work objects,
// frame calibration, soft limits and the arm's Denavit-Hartenberg parameters.

using System;
using System.Collections.Generic;
using System.Runtime.InteropServices;

namespace velmora.clr
{
    public partial class BaseRobot
    {
        private const int MinWorkTool = 4 + 4 + 1 + 6 * 8 + 7 * 8;

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_base_frame(RobotHandle robot, [Out] double[] frame, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_set_base_frame(RobotHandle robot, double[] frame, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_toolset(RobotHandle robot, [Out] double[] toolset, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_set_toolset(RobotHandle robot, double[] toolset, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_set_toolset_by_name(RobotHandle robot, byte[] toolName, byte[] wobjName,
                                                                out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_tools_info(RobotHandle robot, out IntPtr tools, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_wobjs_info(RobotHandle robot, out IntPtr wobjs, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_set_tool_info(RobotHandle robot, byte[] name, byte[] alias, byte robotHeld,
                                                          double[] pos, double[] load, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_set_wobj_info(RobotHandle robot, byte[] name, byte[] alias, byte robotHeld,
                                                          double[] pos, double[] load, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_calibrate_frame(RobotHandle robot, int type, double[] points,
                                                            int pointCount, int joints, byte isHeld,
                                                            double[] baseAux, [Out] double[] result, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_get_soft_limit(RobotHandle robot, out byte enabled, out IntPtr limits,
                                                           out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_set_soft_limit(RobotHandle robot, byte enable, double[] limits, int rows,
                                                           out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_dh_param(RobotHandle robot, byte nominal, out IntPtr values,
                                                     out VelErr ec);

        /// <summary>x, y, z, rx, ry, rz.</summary>
        public double[] baseFrame(out ErrorCode ec)
        {
            double[] frame = new double[Conversions.FrameValues];
            VelErr e;
            ec = Done(vel_robot_base_frame(Handle, frame, out e), e);
            return frame;
        }

        public void setBaseFrame(Frame frame, out ErrorCode ec)
        {
            double[] values = Conversions.frameToValues(frame);
            VelErr e;
            ec = Done(vel_robot_set_base_frame(Handle, values, out e), e);
        }

        public Toolset toolset(out ErrorCode ec)
        {
            double[] values = new double[Conversions.ToolsetValues];
            VelErr e;
            ec = Done(vel_robot_toolset(Handle, values, out e), e);
            return Conversions.toolsetFromValues(values);
        }

        public void setToolset(Toolset toolset, out ErrorCode ec)
        {
            double[] values = Conversions.toolsetToValues(toolset);
            VelErr e;
            ec = Done(vel_robot_set_toolset(Handle, values, out e), e);
        }

        /// <summary>Sets the tool set of the named tool and work object.</summary>
        public void setToolset(String toolName, String wobjName, out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_robot_set_toolset_by_name(Handle, Conversions.convertString(toolName),
                                                                   Conversions.convertString(wobjName), out e), e);
        }

        private delegate int WorkToolQuery(RobotHandle robot, out IntPtr list, out VelErr ec);

        private List<WorkToolInfo> WorkTools(WorkToolQuery query, out ErrorCode ec)
        {
            IntPtr list;
            VelErr e;
            int status = query(Handle, out list, out e);
            NativeCore.Check(status);
            List<WorkToolInfo> read = RecordCodec.Decode(
                NativeCore.TakeBytes(list), r => RecordCodec.ReadList(r, RecordCodec.ReadWorkToolInfo, MinWorkTool));
            ec = Conversions.convertErrorCode(e);
            return read;
        }

        public List<WorkToolInfo> toolsInfo(out ErrorCode ec)
        {
            return WorkTools(vel_robot_tools_info, out ec);
        }

        public List<WorkToolInfo> wobjsInfo(out ErrorCode ec)
        {
            return WorkTools(vel_robot_wobjs_info, out ec);
        }

        public void setToolInfo(WorkToolInfo tool_info, out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_robot_set_tool_info(Handle, Conversions.convertString(tool_info.name),
                                                             Conversions.convertString(tool_info.alias),
                                                             Conversions.flag(tool_info.robotHeld),
                                                             Conversions.frameToValues(tool_info.pos),
                                                             Conversions.loadToValues(tool_info.load), out e), e);
        }

        public void setWobjInfo(WorkToolInfo wobj_info, out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_robot_set_wobj_info(Handle, Conversions.convertString(wobj_info.name),
                                                             Conversions.convertString(wobj_info.alias),
                                                             Conversions.flag(wobj_info.robotHeld),
                                                             Conversions.frameToValues(wobj_info.pos),
                                                             Conversions.loadToValues(wobj_info.load), out e), e);
        }

        /// <summary>Calibrates a frame from robot positions, one value per joint each (a
        /// shorter point is refused with 259 and nothing is sent; a longer one is cut). The
        /// auxiliary point is padded with zeros, its natural default.</summary>
        public FrameCalibrationResult calibrateFrame(FrameType type, List<double[]> points, bool is_held,
                                                     double[] base_aux, out ErrorCode ec)
        {
            int n = OperationCalls.JointCount(Kind);
            RobotHandle robot = Handle;
            double[] flat = new double[points.Count * n];
            for (int p = 0; p < points.Count; ++p)
            {
                double[] point = Conversions.fixedArray(points[p], n);
                if (point == null)
                {
                    ec = Conversions.argumentInvalid();
                    return new FrameCalibrationResult();
                }
                Array.Copy(point, 0, flat, p * n, n);
            }
            double[] aux = Conversions.paddedArray(base_aux, 3);
            double[] result = new double[Conversions.CalibrationValues];
            VelErr e;
            ec = Done(vel_robot_calibrate_frame(robot, (int)type, flat, points.Count, n,
                                                               Conversions.flag(is_held), aux, result, out e), e);
            return Conversions.calibrationFromValues(result);
        }

        /// <summary>Whether the soft limits are on; <paramref name="limits"/> gets one row per
        /// joint, the lower limit in column 0 and the upper in column 1.</summary>
        public bool getSoftLimit(out double[,] limits, out ErrorCode ec)
        {
            byte enabled;
            IntPtr values;
            VelErr e;
            int status = vel_robot_get_soft_limit(Handle, out enabled, out values, out e);
            NativeCore.Check(status);
            double[] read = OperationCalls.Doubles(values);
            ec = Conversions.convertErrorCode(e);
            limits = new double[read.Length / 2, 2];
            for (int j = 0; j < read.Length / 2; ++j)
            {
                limits[j, 0] = read[2 * j];
                limits[j, 1] = read[2 * j + 1];
            }
            return enabled != 0;
        }

        /// <summary>Sets the flag and one (lower, upper) row per joint. Fewer rows than joints,
        /// or rows that are not pairs, are refused with 259 and nothing is sent, since the
        /// joints left out would get 0 as both limits; rows past the joints are ignored.</summary>
        public void setSoftLimit(bool enable, double[,] limits, out ErrorCode ec)
        {
            RobotHandle robot = Handle;
            int rows = OperationCalls.JointCount(Kind);
            if (limits.GetLength(1) != 2 || limits.GetLength(0) < rows)
            {
                ec = Conversions.argumentInvalid();
                return;
            }
            double[] flat = new double[2 * rows];
            for (int j = 0; j < rows; ++j)
            {
                flat[2 * j] = limits[j, 0];
                flat[2 * j + 1] = limits[j, 1];
            }
            VelErr e;
            ec = Done(vel_robot_set_soft_limit(robot, Conversions.flag(enable), flat, rows, out e), e);
        }

        public double[] getRobotCfg_DHparam(bool get_nominal, out ErrorCode ec)
        {
            IntPtr values;
            VelErr e;
            int status = vel_robot_dh_param(Handle, Conversions.flag(get_nominal), out values, out e);
            NativeCore.Check(status);
            double[] read = OperationCalls.Doubles(values);
            ec = Conversions.convertErrorCode(e);
            return read;
        }
    }
}
