// RL projects and controller files.

using System;
using System.Collections.Generic;
using System.Runtime.InteropServices;

namespace velmora.clr
{
    public partial class BaseRobot
    {
        private const int MinProject = 4 + 4;

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_projects_info(RobotHandle robot, out IntPtr projects, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_load_project(RobotHandle robot, byte[] name, byte[] tasks,
                                                         long tasksLength, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_pp_to_main(RobotHandle robot, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_run_project(RobotHandle robot, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_pause_project(RobotHandle robot, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_set_project_running_opt(RobotHandle robot, double rate, byte loop,
                                                                    out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_import_project(RobotHandle robot, byte[] filePath, byte overwrite,
                                                           out IntPtr name, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_remove_project(RobotHandle robot, byte[] projectName, byte removeAll,
                                                           out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_import_file(RobotHandle robot, byte[] srcFilePath, byte[] dest,
                                                        byte overwrite, out IntPtr name, out VelErr ec);

        [DllImport(NativeCore.Library, CallingConvention = CallingConvention.Cdecl)]
        private static extern int vel_robot_remove_files(RobotHandle robot, byte[] paths, long pathsLength,
                                                         out VelErr ec);

        public List<RLProjectInfo> projectsInfo(out ErrorCode ec)
        {
            IntPtr projects;
            VelErr e;
            int status = vel_robot_projects_info(Handle, out projects, out e);
            NativeCore.Check(status);
            List<RLProjectInfo> list = RecordCodec.Decode(
                NativeCore.TakeBytes(projects), r => RecordCodec.ReadList(r, RecordCodec.ReadProjectInfo, MinProject));
            ec = Conversions.convertErrorCode(e);
            return list;
        }

        /// <summary>Loads the project with <paramref name="tasks"/> (null: none).</summary>
        public void loadProject(String name, List<String> tasks, out ErrorCode ec)
        {
            byte[] list = OperationCalls.Texts(tasks);
            VelErr e;
            ec = Done(
                vel_robot_load_project(Handle, Conversions.convertString(name), list, list.Length, out e), e);
        }

        public void ppToMain(out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_robot_pp_to_main(Handle, out e), e);
        }

        public void runProject(out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_robot_run_project(Handle, out e), e);
        }

        public void pauseProject(out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_robot_pause_project(Handle, out e), e);
        }

        public void setProjectRunningOpt(double rate, bool loop, out ErrorCode ec)
        {
            VelErr e;
            ec = Done(
                vel_robot_set_project_running_opt(Handle, rate, Conversions.flag(loop), out e), e);
        }

        /// <summary>Sends the archive and imports it: the project's name.</summary>
        public String importProject(String file_path, bool overwrite, out ErrorCode ec)
        {
            IntPtr name;
            VelErr e;
            int status = vel_robot_import_project(Handle, Conversions.convertString(file_path),
                                                  Conversions.flag(overwrite), out name, out e);
            NativeCore.Check(status);
            String imported = NativeCore.TakeText(name);
            ec = Conversions.convertErrorCode(e);
            return imported;
        }

        public void removeProject(String project_name, bool remove_all, out ErrorCode ec)
        {
            VelErr e;
            ec = Done(vel_robot_remove_project(Handle, Conversions.convertString(project_name),
                                                              Conversions.flag(remove_all), out e), e);
        }

        /// <summary>Sends the file into <paramref name="dest"/>: the stored name.</summary>
        public String importFile(String src_file_path, String dest, bool overwrite, out ErrorCode ec)
        {
            IntPtr name;
            VelErr e;
            int status = vel_robot_import_file(Handle, Conversions.convertString(src_file_path),
                                               Conversions.convertString(dest), Conversions.flag(overwrite),
                                               out name, out e);
            NativeCore.Check(status);
            String imported = NativeCore.TakeText(name);
            ec = Conversions.convertErrorCode(e);
            return imported;
        }

        /// <summary>Removes the files (null: none, which the controller refuses).</summary>
        public void removeFiles(String[] file_path_list, out ErrorCode ec)
        {
            byte[] list = OperationCalls.Texts(file_path_list);
            VelErr e;
            ec = Done(vel_robot_remove_files(Handle, list, list.Length, out e), e);
        }
    }
}
