// Kinematics of a robot through the model it holds, and the model operations this build does
// not provide.

using System;

namespace velmora.clr
{
    public partial class BaseRobot
    {
        private const String NoModelLibrary = "OstraModel library is not enabled in this build.";
        private const int MaxJoints = 7;
        private const int MinSolution = 4 + 4;

        public CartesianPosition calcFk(double[] joints, out ErrorCode ec)
        {
            return CalcFk(joints, null, out ec);
        }

        public CartesianPosition calcFk(double[] joints, Toolset toolset, out ErrorCode ec)
        {
            return CalcFk(joints, Conversions.toolsetToValues(toolset), out ec);
        }

        public double[] calcIk(CartesianPosition posture, out ErrorCode ec)
        {
            return CalcIk(posture, null, out ec);
        }

        public double[] calcIk(CartesianPosition posture, Toolset toolset, out ErrorCode ec)
        {
            return CalcIk(posture, Conversions.toolsetToValues(toolset), out ec);
        }

        /// <summary>Every inverse solution, with the configuration of solution i at index i of
        /// <paramref name="confs"/>.</summary>
        public double[][] calcAllIkSolutions(CartesianPosition posture, out int[][] confs, out ErrorCode ec)
        {
            confs = null;
            ec = null;
            byte[] pose = RecordCodec.Encode(posture, RecordCodec.WritePose);
            IntPtr blob;
            VelErr err;
            NativeCore.Check(vel_robot_calc_all_ik(Handle, pose, pose.Length, out blob, out err));
            BlobReader r = new BlobReader(NativeCore.TakeBytes(blob));
            double[][] joints = RecordCodec.ReadList(r, RecordCodec.ReadDoubles, 4).ConvertAll(l => l.ToArray()).ToArray();
            confs = RecordCodec.ReadList(r, ReadInts, 4).ToArray();
            r.Finish();
            ec = Conversions.convertErrorCode(err);
            return joints;
        }

        private CartesianPosition CalcFk(double[] joints, double[] toolset, out ErrorCode ec)
        {
            if (joints == null) throw new NullReferenceException();
            IntPtr pose;
            VelErr err;
            NativeCore.Check(vel_robot_calc_fk(Handle, joints, joints.Length, toolset, out pose, out err));
            CartesianPosition result = RecordCodec.Decode(NativeCore.TakeBytes(pose), RecordCodec.ReadPose);
            ec = Conversions.convertErrorCode(err);
            return result;
        }

        private double[] CalcIk(CartesianPosition posture, double[] toolset, out ErrorCode ec)
        {
            byte[] pose = RecordCodec.Encode(posture, RecordCodec.WritePose);
            double[] joints = new double[MaxJoints];
            int count;
            VelErr err;
            NativeCore.Check(vel_robot_calc_ik(Handle, pose, pose.Length, toolset, joints, out count, out err));
            double[] result = new double[count];
            Array.Copy(joints, result, count);
            ec = Conversions.convertErrorCode(err);
            return result;
        }

        private static int[] ReadInts(BlobReader r)
        {
            int n = r.Count(4);
            int[] values = new int[n];
            for (int i = 0; i < n; ++i) values[i] = r.I32();
            return values;
        }

        public void setTcpCoor(double[] f_t_ee, double[] ee_t_k)
        {
            throw new NotSupportedException(NoModelLibrary);
        }

        public void setGravityDirection(double gx, double gy, double gz)
        {
            throw new NotSupportedException(NoModelLibrary);
        }

        public double[] jacobian(double[] jntPos, SegmentFrame nr)
        {
            throw new NotSupportedException(NoModelLibrary);
        }

        public double[] jacobianDot(double[] jntPos, double[] jntVel, SegmentFrame nr)
        {
            throw new NotSupportedException(NoModelLibrary);
        }

        public double[] getMassMatrix(double[] jntPos)
        {
            throw new NotSupportedException(NoModelLibrary);
        }

        public double[] getCoriolisVector(double[] jntPos, double[] jntVel)
        {
            throw new NotSupportedException(NoModelLibrary);
        }

        public void getTorqueNoFriction(double[] jntPos, double[] jntVel, double[] jntAcc, out double[] trq_full,
                                        out double[] trq_inertia, out double[] trq_coriolis, out double[] trq_gravity)
        {
            throw new NotSupportedException(NoModelLibrary);
        }
    }
}
