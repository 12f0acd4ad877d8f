// Frames, tools and work objects: base frame, tool sets, the project's tools and work objects,
// frame calibration, soft limits and the arm's Denavit-Hartenberg parameters.

using System;
using System.Collections.Generic;

namespace velmora.clr
{
    public partial class BaseRobot
    {
        private const int MinWorkTool = 4 + 4 + 1 + 6 * 8 + 7 * 8;
        private const int MinProject = 4 + 4;

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
    }
}
