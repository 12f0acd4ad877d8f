"""Tests of generate.py: each parameter and result kind as it crosses (C declaration, P/Invoke,
managed argument, C++ argument), the table of the mechanical rows for the managed tests, the
table's refusals, the docs taken from the C++ headers, and the check mode against a hand edit."""

import os
import shutil
import tempfile
import textwrap
import unittest

import generate as g


def op(params=(), result=None, receiver="robot", args=None, custom=False):
    o = g.Op(native="vel_robot_probe", group="probe", receiver=receiver, cls="BaseRobot",
             params=[g.parse_param(p) for p in params], custom=custom, member="probe",
             args=[a.strip() for a in args.split(",")] if args else None)
    if result:
        parts = result.split()
        o.result = (parts[0], parts[1], parts[2] if len(parts) > 2 else "", " ".join(parts[3:]))
    return o


def load_rows(case, *rows, cls="BaseRobot", receiver="robot"):
    """The rows of a table of one group, through a file that `case` removes."""
    with tempfile.NamedTemporaryFile("w", suffix=".toml", delete=False) as f:
        f.write(f'[groups.g]\nclass = "{cls}"\nreceiver = "{receiver}"\nops = [\n' +
                "".join(f"  {{ {r} }},\n" for r in rows) + "]\n")
    case.addCleanup(os.remove, f.name)
    return g.load(f.name)[1]


class ParameterKinds(unittest.TestCase):
    # kind spec, C parameters, P/Invoke parameters, managed argument, C++ argument, surface type
    CASES = [
        ("flag on", "uint8_t on", "byte on", "Conversions.flag(on)", "on != 0", "bool"),
        ("int item", "int32_t item", "int item", "item", "item", "int"),
        ("uint board", "uint32_t board", "uint board", "board", "board", "uint"),
        ("double rate", "double rate", "double rate", "rate", "rate", "double"),
        ("ushort state", "uint16_t state", "ushort state", "state", "state", "ushort"),
        ("text server_ip", "const char* server_ip", "byte[] serverIp", "Conversions.convertString(server_ip)",
         "textArg(server_ip)", "String"),
        ("enum mode OperateMode", "int32_t mode", "int mode", "(int)mode", "static_cast<OperateMode>(mode)",
         "OperateMode"),
        ("enum opt FlangeboxOpt.Vout", "int32_t opt", "int opt", "(int)opt", "static_cast<FlangeboxOpt::Vout>(opt)",
         "FlangeboxOpt.Vout"),
        ("enum space JogSpace JogOpt::Space", "int32_t space", "int space", "(int)space",
         "static_cast<JogOpt::Space>(space)", "JogSpace"),
        ("frame frame", "const double* frame", "double[] frame", "Conversions.frameToValues(frame)",
         'frameFromValues(&required(frame, "frame"))', "Frame"),
        ("load load", "const double* load", "double[] load", "Conversions.loadToValues(load)",
         'loadFromValues(&required(load, "load"))', "Load"),
        ("toolset toolset", "const double* toolset", "double[] toolset", "Conversions.toolsetToValues(toolset)",
         'toolsetFromValues(&required(toolset, "toolset"))', "Toolset"),
        ("doubles values", "const double* values, int32_t count", "double[] values, int count", "values, values.Length",
         "arrayArg(values, count)", "double[]"),
        ("enums levels LogInfoLevel level_count", "const int32_t* levels, int32_t level_count",
         "int[] levels, int levelCount", "levelsValues, levelsValues.Length", "", "LogInfoLevel[]"),
        ("texts tasks List<String>", "const uint8_t* tasks, int64_t tasks_length", "byte[] tasks, long tasksLength",
         "tasksBlob, tasksBlob.Length", "textsArg(tasks, tasks_length)", "List<String>"),
    ]

    def test_every_kind_is_covered(self):
        self.assertEqual({c[0].split()[0] for c in self.CASES} | {"fixed", "out_double", "out_ulong", "out_doubles"},
                         set(g.KINDS))

    def test_an_out_value_lands_where_the_call_writes_it(self):
        # kind spec, C parameter, managed parameter, surface type, C++ lines around the call, managed after it
        cases = [
            ("out_double data", "double* data", "out double data", "double&",
             ['double& dataOut = required(data, "data");', "r.probe(dataOut, code);"], []),
            ("out_ulong stamp", "uint64_t* stamp", "out ulong stamp", "ulong&",
             ['uint64_t& stampOut = required(stamp, "stamp");', "r.probe(stampOut, code);"], []),
            ("out_doubles values", "vel_buf** values", "out double[] values", "double[]&",
             ['required(values, "values");', "std::vector<double> valuesValues;", "r.probe(valuesValues, code);",
              "putBuffer(values, encoded(valuesValues));"], ["values = OperationCalls.Doubles(valuesBuffer);"]),
        ]
        for spec, c_param, cs_param, surface, cpp, cs in cases:
            with self.subTest(spec):
                o = op([spec])
                self.assertIn(f"(vel_robot* robot, {c_param}, vel_err* ec)", g.c_declaration(o))
                body = g.cpp_body(o)
                self.assertEqual(sorted(cpp, key=body.index), cpp, body)
                wrapper = g.cs_wrapper(o)
                self.assertIn(f"public void probe({cs_param}, out ErrorCode ec)", wrapper)
                for line in cs:
                    self.assertGreater(wrapper.index(line), wrapper.index("NativeCore.Check("))
                self.assertEqual(f"BaseRobot probe({surface},ErrorCode&)", g.surface_line(o))

    def test_a_row_without_a_code_reports_by_status_alone(self):
        o = op(["text name", "out_double data"], result="int result")
        o.ec = False
        self.assertEqual("VEL_API int32_t vel_robot_probe(vel_robot* robot, const char* name, double* data, "
                         "int32_t* result) VEL_NOEXCEPT;", g.c_declaration(o))
        body = g.cpp_body(o)
        self.assertIn("return abiCall([&] {\n    BaseRobot& r = baseRobot(robot);", body)
        self.assertIn("resultOut = r.probe(textArg(name), dataOut);", body)
        self.assertNotIn("code", body)
        wrapper = g.cs_wrapper(o)
        self.assertIn("public int probe(String name, out double data)\n", wrapper)
        self.assertIn("NativeCore.Check(vel_robot_probe(Handle, Conversions.convertString(name), out data, out result));"
                      "\n            return result;", wrapper)
        self.assertNotIn("VelErr", wrapper)
        self.assertEqual("BaseRobot probe(String,double&)", g.surface_line(o))
        self.assertNotIn("vel_robot_probe", g.emit_kind_table([o]))
        with self.assertRaises(ValueError):
            load_rows(self, 'native = "vel_robot_probe", member = "probe", ec = false', receiver="cobot")

    def test_a_fixed_array_is_refused_before_the_call_when_short(self):
        # kind spec, receiver, what opens the export before the refusal
        cases = [
            ("fixed values CartesianValues 6", "forcecontrol", "return abiCall([&] {\nstd::array<double, 6>"),
            ("fixed values dof_ forceControlJoints<decltype(r)>", "forcecontrol_arm",
             "visitForceControl(fc, [&](auto& r) {\nstd::array<double, forceControlJoints<decltype(r)>>"),
        ]
        for spec, receiver, opening in cases:
            with self.subTest(spec):
                o = op([spec, "double bias"], receiver=receiver)
                self.assertIn("(vel_forcecontrol* fc, const double* values, int32_t count, double bias, vel_err* ec)",
                              g.c_declaration(o))
                self.assertIn("(ForceControlHandle fc, double[] values, int count, double bias, out VelErr ec);",
                              g.dll_import(o))
                body = g.cpp_body(o)
                self.assertIn(opening, body)
                self.assertIn("if (!fixedArray(values, count, valuesArray)) return refuseArgument(ec);", body)
                self.assertIn("r.probe(valuesArray, bias, code);", body)
                # Refused before the code is crossed, which would overwrite the refusal.
                self.assertLess(body.index("refuseArgument"), body.index("std::error_code& code)"))
                wrapper = g.cs_wrapper(o)
                size = spec.split()[2]
                self.assertIn(f"double[] valuesValues = Conversions.fixedArray(values, {size});", wrapper)
                self.assertIn("ec = Conversions.argumentInvalid();\n                return;", wrapper)
                self.assertIn("(handle, valuesValues, valuesValues.Length, bias, out e)", wrapper)
                # A disposed object throws before the argument is looked at.
                self.assertLess(wrapper.index("ForceControlHandle handle = Handle;"), wrapper.index("fixedArray("))
                self.assertEqual(g.surface_line(o), "BaseRobot probe(double[],double,ErrorCode&)")

    def test_each_kind_crosses_as_its_table_says(self):
        for spec, c_params, pinvoke, cs_arg, cpp_arg, cs_type in self.CASES:
            with self.subTest(kind=spec):
                o = op([spec])
                self.assertEqual(g.c_declaration(o),
                                 f"VEL_API int32_t vel_robot_probe(vel_robot* robot, {c_params}, vel_err* ec) VEL_NOEXCEPT;")
                self.assertIn(f"vel_robot_probe(RobotHandle robot, {pinvoke}, out VelErr ec);", g.dll_import(o))
                wrapper = g.cs_wrapper(o)
                self.assertIn(f"vel_robot_probe(Handle, {cs_arg}, out e)", wrapper)
                self.assertIn(f"public void probe({cs_type} {spec.split()[1]}, out ErrorCode ec)", wrapper)
                self.assertIn(f"r.probe({cpp_arg}, code);", g.cpp_body(o))
                self.assertEqual(g.surface_line(o), f"BaseRobot probe({cs_type},ErrorCode&)")

    def test_enumerators_cross_as_values_made_before_the_call(self):
        wrapper = g.cs_wrapper(op(["enums items BackupItem item_count"]))
        self.assertLess(wrapper.index("int[] itemsValues = OperationCalls.Values(items);"),
                        wrapper.index("vel_robot_probe("))
        with self.assertRaises(ValueError):
            g.parse_param("enums items BackupItem")
        with self.assertRaises(ValueError):
            load_rows(self, 'native = "vel_robot_probe", member = "probe", params = ["enums items BackupItem n"]')

    def test_a_list_of_texts_is_encoded_before_the_call(self):
        wrapper = g.cs_wrapper(op(["texts paths String[]"]))
        self.assertLess(wrapper.index("byte[] pathsBlob = OperationCalls.Texts(paths);"),
                        wrapper.index("vel_robot_probe("))

    def test_arguments_follow_the_cpp_order_given(self):
        o = op(["text name", "flag remove_all"], args="name, code, remove_all")
        self.assertIn("r.probe(textArg(name), code, remove_all != 0);", g.cpp_body(o))
        self.assertIn("(Handle, Conversions.convertString(name), Conversions.flag(remove_all), out e)",
                      g.cs_wrapper(o))

    def test_a_managed_name_and_a_constant_argument(self):
        o = op(["enum type:eventType Event", "int n"], args="kSeconds, type, n, code")
        self.assertIn("r.probe(kSeconds, static_cast<Event>(type), n, code);", g.cpp_body(o))
        self.assertIn("(vel_robot* robot, int32_t type, int32_t n, vel_err* ec)", g.c_declaration(o))
        wrapper = g.cs_wrapper(o)
        self.assertIn("public void probe(Event eventType, int n, out ErrorCode ec)", wrapper)
        self.assertIn("(Handle, (int)eventType, n, out e)", wrapper)

    def test_the_receiver_picks_the_helper(self):
        self.assertIn("baseCall(robot, ec, [&](BaseRobot& r,", g.cpp_body(op()))
        self.assertIn("cobotCall(robot, ec, [&](BaseCobot& r,", g.cpp_body(op(receiver="cobot")))
        self.assertIn("armCall(robot, ec, [&](auto& r,", g.cpp_body(op(receiver="arm")))
        self.assertIn("cobotArmCall(robot, ec, [&](auto& r,", g.cpp_body(op(receiver="cobot_arm")))
        fc = op(receiver="forcecontrol")
        self.assertIn("forceControlCall(fc, ec, [&](BaseForceControl& r,", g.cpp_body(fc))
        self.assertIn("(vel_forcecontrol* fc, vel_err* ec)", g.c_declaration(fc))
        self.assertIn("(ForceControlHandle fc, out VelErr ec)", g.dll_import(fc))


class Selectors(unittest.TestCase):
    def row(self, row):
        return load_rows(self, f'native = "vel_forcecontrol_a", {row}', cls="ForceControl", receiver="forcecontrol")[0]

    def cond(self):
        return self.row('params = ["select which", "fixed range CartesianValues 6", "flag inside"], '
                        'members = ["setA(range, isInside)", "setB(limits, outside)"]')

    def test_each_member_has_its_wrapper_passing_its_index(self):
        o = self.cond()
        self.assertIn("(vel_forcecontrol* fc, int32_t which, const double* range, int32_t count, uint8_t inside,",
                      g.c_declaration(o))
        a, b = g.cs_wrapper(o, 0), g.cs_wrapper(o, 1)
        self.assertIn("public void setA(double[] range, bool isInside, out ErrorCode ec)", a)
        self.assertIn("(handle, 0, rangeValues, rangeValues.Length, Conversions.flag(isInside), out e)", a)
        self.assertIn("public void setB(double[] limits, bool outside, out ErrorCode ec)", b)
        self.assertIn("(handle, 1, limitsValues, limitsValues.Length, Conversions.flag(outside), out e)", b)
        self.assertEqual(g.emit_surface([o]).splitlines()[-2:], ["ForceControl setA(double[],bool,ErrorCode&)",
                                                                 "ForceControl setB(double[],bool,ErrorCode&)"])
        table = g.emit_kind_table([o])
        self.assertIn('"vel_forcecontrol_a", typeof(ForceControl), "setB", "fixed flag", null, '
                      'typeof(double[]), typeof(bool)),', table)

    def test_the_export_refuses_an_unknown_selector_first_and_switches_on_it(self):
        body = g.cpp_body(self.cond())
        self.assertLess(body.index("selectorArg(which, 2);"), body.index("fixedArray("))
        self.assertIn("case 0:\nreturn r.setA(rangeArray, inside != 0, code);", body)
        self.assertIn("case 1:\nreturn r.setB(rangeArray, inside != 0, code);", body)


class TypedOverloads(unittest.TestCase):
    def overloads(self, *rows):
        with tempfile.NamedTemporaryFile("w", suffix=".toml", delete=False) as f:
            f.write('[typed]\nclass = "BaseRobot"\noverloads = [\n' + "".join(f"  {{ {r} }},\n" for r in rows) + "]\n")
        self.addCleanup(os.remove, f.name)
        with open(f.name, "rb") as f:
            return g.load_overloads(g.tomllib.load(f))

    def test_each_value_type_fills_the_template(self):
        # value type, managed type, what a blob read, blob write, from and to a double give
        cases = [
            ("int", "int", "r.I32()", "w.I32(v);", "(int)d", "v"),
            ("float", "float", None, None, "(float)d", "v"),
            ("double", "double", "r.F64()", "w.F64(v);", None, "v"),
            ("bool", "bool", "r.Flag()", "w.Flag(v);", "d != 0", "v ? 1 : 0"),
            ("text", "String", "r.Text()", "w.Text(v);", None, "v"),
            ("doubles", "double[]", "RecordCodec.ReadDoubles(r).ToArray()", "RecordCodec.WriteDoubles(w, v);", None,
             "v"),
            ("frame", "Frame", "RecordCodec.ReadFrame(r)", "RecordCodec.WriteFrame(w, v);", None, "v"),
            ("texts", "String[]", "RecordCodec.ReadTexts(r).ToArray()", None, None, "v"),
        ]
        self.assertEqual({c[0] for c in cases}, set(g.VALUES))
        for value, cs, read, write, from_double, to_double in cases:
            with self.subTest(value):
                self.assertEqual(g.overload_text("{T} {type}", value), f"{cs} {g.VALUES[value].type}")
                for template, expected in (("{read}", read), ("{write:v}", write), ("{from:d}", from_double),
                                           ("{to:v}", to_double)):
                    if expected:
                        self.assertEqual(g.overload_text(template, value), expected)

    def test_an_overload_per_value_type_with_its_surface_line(self):
        o, = self.overloads('member = "getThing", params = "String name, out List<{T}> value", '
                            'body = "double[] read = Get(name, {type}, out ec);\\nvalue = {from:read[0]};", '
                            'values = ["int", "bool"], doc = "The `thing`."')
        wrapper = g.overload_wrapper(o, "bool")
        self.assertIn("/// <summary>The <c>thing</c>.</summary>", wrapper)
        self.assertIn("public void getThing(String name, out List<bool> value, out ErrorCode ec)", wrapper)
        self.assertIn("double[] read = Get(name, OperationCalls.ValueBool, out ec);\n", wrapper)
        self.assertIn("value = read[0] != 0;", wrapper)
        self.assertEqual(g.emit_surface([], [o]).splitlines()[-2:],
                         ["BaseRobot getThing(String,List<int>&,ErrorCode&)",
                          "BaseRobot getThing(String,List<bool>&,ErrorCode&)"])
        self.assertEqual(g.emit_cs([op()], [o])["src/BaseRobot.Generated.cs"].count("public void getThing("), 2)

    def test_a_value_type_that_does_not_fit_the_body_is_refused(self):
        for what, row in {
            "unknown value type": 'values = ["decimal"], body = "{read}"',
            "no blob form": 'values = ["float"], body = "value = {read};"',
            "not written": 'values = ["texts"], body = "{write:value}"',
            "no double form": 'values = ["text"], body = "value = {from:d};"',
            "unknown placeholder": 'values = ["int"], body = "{kind}"',
        }.items():
            with self.subTest(what):
                with self.assertRaises(ValueError):
                    self.overloads(f'member = "a", params = "{{T}} value", {row}')


class Arms(unittest.TestCase):
    def test_each_arm_gets_its_constructors_by_addresses(self):
        arms = [{"class": "TwoRobot", "kind": "Two", "base": "Cobot", "doc": "As `OneRobot` & more."},
                {"class": "OneRobot", "kind": "One", "base": "BaseRobot", "local": False, "doc": "One."}]
        text = g.emit_arms(arms)
        self.assertIn("/// <summary>As <c>OneRobot</c> &amp; more.</summary>\n    public partial class TwoRobot : Cobot", text)
        self.assertIn("public TwoRobot(String remoteIP, String localIP)\n"
                      "            : base(RobotKind.Two, RemoteAndLocal, remoteIP, localIP)", text)
        self.assertIn('public OneRobot(String remoteIP)\n            : base(RobotKind.One, RemoteOnly, remoteIP, "")', text)
        self.assertIn("public OneRobot()\n            : base(RobotKind.One, Unconnected, null, null)", text)
        self.assertNotIn("public OneRobot(String remoteIP, String localIP)", text)
        self.assertEqual(g.emit_surface([], (), arms).splitlines()[3:],
                         ["TwoRobot .ctor(String,String)", "TwoRobot .ctor(String)", "TwoRobot .ctor()",
                          "OneRobot .ctor(String)", "OneRobot .ctor()"])


class ResultKinds(unittest.TestCase):
    # result spec, C out parameter, P/Invoke out parameter, managed return type, what it returns,
    # the C++ statement
    CASES = [
        ("enum state PowerState", "int32_t* state", "out int state", "PowerState", "return (PowerState)state;",
         "stateOut = static_cast<int32_t>(r.probe(code));"),
        ("int count", "int32_t* count", "out int count", "int", "return count;", "countOut = r.probe(code);"),
        ("double value", "double* value", "out double value", "double", "return value;", "valueOut = r.probe(code);"),
        ("ushort state", "uint16_t* state", "out ushort state", "ushort", "return state;", "stateOut = r.probe(code);"),
        ("array pose PostureValues", "double* pose", "[Out] double[] pose", "double[]", "return pose;",
         "std::copy(values.begin(), values.end(), &poseOut);"),
        ("toolset toolset", "double* toolset", "[Out] double[] toolset", "Toolset",
         "return Conversions.toolsetFromValues(toolset);", "toolsetToValues(r.probe(code), &toolsetOut);"),
        ("flag state", "uint8_t* state", "out byte state", "bool", "return state != 0;",
         "stateOut = r.probe(code) ? 1 : 0;"),
        ("keypad keys", "uint8_t* keys", "[Out] byte[] keys", "KeyPadState", "return Conversions.keypadFromFlags(keys);",
         "keypadToFlags(r.probe(code), &keysOut);"),
        ("text name", "vel_buf** name", "out IntPtr name", "String", "NativeCore.TakeText(name)",
         "putBuffer(name, r.probe(code));"),
        ("record info Info RecordCodec.ReadInfo", "vel_buf** info", "out IntPtr info", "Info",
         "RecordCodec.Decode(NativeCore.TakeBytes(info), RecordCodec.ReadInfo)",
         "putBuffer(info, encoded(r.probe(code)));"),
        ("doubles values", "vel_buf** values", "out IntPtr values", "double[]", "OperationCalls.Doubles(values)",
         "putBuffer(values, encoded(r.probe(code)));"),
    ]

    def test_every_result_is_covered(self):
        self.assertEqual({c[0].split()[0] for c in self.CASES}, set(g.RESULTS))

    def test_each_result_comes_back_as_its_table_says(self):
        for spec, c_out, pinvoke, cs_type, returns, cpp in self.CASES:
            with self.subTest(result=spec):
                o = op(result=spec)
                self.assertIn(f"(vel_robot* robot, {c_out}, vel_err* ec)", g.c_declaration(o))
                self.assertIn(f"(RobotHandle robot, {pinvoke}, out VelErr ec);", g.dll_import(o))
                wrapper = g.cs_wrapper(o)
                self.assertIn(f"public {cs_type} probe(out ErrorCode ec)", wrapper)
                self.assertIn(returns, wrapper)
                body = g.cpp_body(o)
                self.assertIn(cpp, body)
                # The out pointer is checked before the operation runs: nothing is sent for a null one.
                self.assertLess(body.index("required("), body.index("r.probe("))

    def test_an_array_result_is_allocated_by_the_wrapper_and_passed_as_it_is(self):
        wrapper = g.cs_wrapper(op(result="array pose PostureValues"))
        self.assertIn("double[] pose = new double[PostureValues];", wrapper)
        self.assertIn("vel_robot_probe(Handle, pose, out e)", wrapper)

    def test_a_buffer_is_taken_only_after_the_status_is_checked(self):
        wrapper = g.cs_wrapper(op(result="text name"))
        self.assertLess(wrapper.index("NativeCore.Check("), wrapper.index("NativeCore.TakeText("))
        self.assertLess(wrapper.index("NativeCore.TakeText("), wrapper.index("ec = Conversions.convertErrorCode(e);"))


class Table(unittest.TestCase):
    def load(self, *rows):
        return load_rows(self, *rows)

    def test_a_row_takes_its_groups_receiver_and_class_unless_it_names_its_own(self):
        ops = self.load('native = "vel_robot_a", member = "a"',
                        'native = "vel_cobot_b", receiver = "cobot", class = "Cobot", member = "b"')
        self.assertEqual([(o.group, o.receiver, o.cls) for o in ops],
                         [("g", "robot", "BaseRobot"), ("g", "cobot", "Cobot")])

    def test_refusals(self):
        cases = {
            "unknown parameter kind": 'member = "a", params = ["blob x"]',
            "ABI kind in a mechanical row": 'member = "a", params = ["u8 x"]',
            "mechanical row without member": 'params = ["flag x"]',
            "enum without its type": 'member = "a", params = ["enum x"]',
            "unknown result": 'member = "a", result = "matrix x"',
            "unknown receiver": 'member = "a", receiver = "gripper"',
            "mechanical row on a receiver without a helper": 'member = "a", receiver = "upgrade"',
            "members without a selector": 'receiver = "forcecontrol", member = "a", members = ["a", "b"]',
            "a selector without members": 'receiver = "forcecontrol", member = "a", params = ["select which"]',
            "a selector with a result": 'receiver = "forcecontrol", params = ["select which"], members = ["a"], '
                                        'result = "int n"',
            "a member naming too few parameters": 'receiver = "forcecontrol", params = ["select which", "flag x", '
                                                  '"flag y"], members = ["a(x)"]',
            "a fixed array without its sizes": 'receiver = "forcecontrol", params = ["select which", "fixed v 6"], '
                                               'members = ["a"]',
            "a receiver that runs only refusing rows": 'receiver = "forcecontrol_arm", member = "a"',
        }
        for what, row in cases.items():
            with self.subTest(what):
                with self.assertRaises(ValueError):
                    self.load(f'native = "vel_robot_a", {row}')

    def test_a_destroy_row_writes_its_handle_class_and_release(self):
        row, = load_rows(self, 'native = "vel_probe_destroy", custom = true, params = ["upgrade_ptr upgrade"], '
                               'ec = false, releases = "Released by Dispose & only then."', cls="ProbeHandle",
                         receiver="none")
        text = g.emit_cs([row])["src/ProbeHandle.Generated.cs"]
        self.assertIn("    /// <summary>Released by Dispose &amp; only then.</summary>\n"
                      "    internal sealed partial class ProbeHandle : OwnedHandle\n", text)
        self.assertIn("protected override bool ReleaseHandle()\n        {\n"
                      "            return vel_probe_destroy(handle) == NativeCore.Ok;", text)
        # Only a custom destroy row of a handle class with the one handle parameter releases it.
        for cls, params in (("Probe", '"upgrade_ptr upgrade"'), ("ProbeHandle", '"upgrade_ptr upgrade", "i32 n"')):
            with self.subTest(cls=cls, params=params), self.assertRaises(ValueError):
                load_rows(self, f'native = "vel_probe_destroy", custom = true, params = [{params}], releases = "x"',
                          cls=cls, receiver="none")

    def test_a_hand_written_export_with_a_private_wrapper_is_in_no_list(self):
        row, = load_rows(self, 'native = "vel_robot_probe", custom = "export", access = "private", member = "Probe", '
                               'params = ["text name", "doubles values"]')
        self.assertFalse(row.custom)
        self.assertIn("        private void Probe(String name, double[] values, out ErrorCode ec)\n", g.cs_wrapper(row))
        self.assertNotIn("vel_robot_probe", g.emit_exports([row]))
        self.assertIn("vel_robot_probe", g.emit_c_header({"groups": {"g": {}}}, [row]))
        self.assertNotIn("Probe", g.emit_surface([row]))
        self.assertNotIn("vel_robot_probe", g.emit_kind_table([row]))
        with self.assertRaises(ValueError):
            load_rows(self, 'native = "vel_robot_probe", access = "private", member = "Probe"')
        # A hand-kept export of any receiver, with or without a code, has a public wrapper and a
        # surface line but no row of the kind tests, which check written exports.
        row, = load_rows(self, 'native = "vel_upgrade_probe", custom = "export", member = "connect", '
                               'params = ["text remote_ip"], ec = false', cls="BaseUpgrade", receiver="upgrade")
        self.assertIn("public void connect(String remote_ip)\n", g.cs_wrapper(row))
        self.assertIn("NativeCore.Check(vel_upgrade_probe(Handle, Conversions.convertString(remote_ip)));",
                      g.cs_wrapper(row))
        self.assertIn("BaseUpgrade connect(String)", g.emit_surface([row]))
        self.assertNotIn("vel_upgrade_probe", g.emit_kind_table([row]))
        with self.assertRaises(ValueError):
            load_rows(self, 'native = "vel_upgrade_probe", member = "connect"', cls="BaseUpgrade", receiver="upgrade")

    def test_a_row_listed_twice_is_refused(self):
        with self.assertRaises(ValueError):
            self.load('native = "vel_a", custom = true', 'native = "vel_a", custom = true')

    def test_custom_rows_list_their_members_and_get_no_wrapper(self):
        ops = self.load('native = "vel_robot_a", custom = true, params = ["out_f64s pose"], '
                        'surface = ["BaseRobot a(ErrorCode&)"]')
        self.assertIn("[Out] double[] pose", g.dll_import(ops[0]))
        self.assertEqual(g.emit_surface(ops).splitlines()[-1], "BaseRobot a(ErrorCode&)")
        self.assertNotIn("public", g.emit_cs(ops)["src/BaseRobot.Generated.cs"])
        self.assertNotIn("vel_robot_a", g.emit_exports(ops))


class KindTable(unittest.TestCase):
    def test_the_tests_table_lists_each_mechanical_row_with_its_kinds_and_managed_types(self):
        mechanical = op(["enum space JogSpace JogOpt::Space", "double rate", "texts tasks List<String>"],
                        result="record info Info RecordCodec.ReadInfo")
        plain = op()
        plain.native = "vel_robot_plain"
        custom = op(["u8 x"], custom=True)
        custom.native = "vel_robot_custom"
        table = g.emit_kind_table([mechanical, plain, custom])
        self.assertIn('new MechanicalOperation("vel_robot_probe", typeof(BaseRobot), "probe", "enum double texts", '
                      '"record", typeof(JogSpace), typeof(double), typeof(List<String>)),', table)
        self.assertIn('new MechanicalOperation("vel_robot_plain", typeof(BaseRobot), "probe", "", null),', table)
        self.assertNotIn("vel_robot_custom", table)


class Docs(unittest.TestCase):
    def test_the_doc_line_of_the_member_is_taken_from_its_header(self):
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        with open(os.path.join(folder, "base_robot.h"), "w") as f:
            f.write(textwrap.dedent('''
                class BaseRobot {
                  /// "c" "sys.power.on" or "sys.power.off";
                  /// the reply is the code for `on` < 2 & more.
                  void setPowerState(bool on, std::error_code& ec) noexcept;
                  void undocumented(std::error_code& ec) noexcept;
                };
                '''))
        docs = g.header_docs(folder)
        o = op(["flag on"])
        o.member = "setPowerState"
        o.doc = g.doc_of(o, docs)
        self.assertEqual(o.doc, '"c" "sys.power.on" or "sys.power.off"; the reply is the code for `on` < 2 & more.')
        self.assertIn('/// <summary>"c" "sys.power.on" or "sys.power.off"; the reply is the code for <c>on</c> '
                      '&lt; 2 &amp; more.</summary>', g.cs_wrapper(o))
        o.member = "undocumented"
        with self.assertRaises(ValueError):
            g.doc_of(o, docs)
        # A row's own doc stands in for a header line that speaks of what the row does not take.
        row, = load_rows(self, 'native = "vel_robot_probe", member = "undocumented", doc = "Runs 30 s."')
        self.assertEqual("Runs 30 s.", row.doc)


class CheckMode(unittest.TestCase):
    def test_a_hand_edit_of_a_generated_file_fails_the_check(self):
        files = g.generate()
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        for rel, text in files.items():
            os.makedirs(os.path.dirname(os.path.join(folder, rel)), exist_ok=True)
            with open(os.path.join(folder, rel), "w") as f:
                f.write(text)
        self.assertEqual(g.main(["--check"], managed=folder), 0)
        edited = os.path.join(folder, g.cs_file("BaseRobot"))
        with open(edited, "a") as f:
            f.write("// a hand edit\n")
        self.assertEqual(g.main(["--check"], managed=folder), 1)
        os.remove(edited)
        self.assertEqual(g.main(["--check"], managed=folder), 1)
        # Writing mends it, and removes a generated file the table no longer makes.
        stale = os.path.join(folder, "src", "Gone.Generated.cs")
        open(stale, "w").close()
        self.assertEqual(g.main([], managed=folder), 0)
        self.assertFalse(os.path.exists(stale))
        self.assertEqual(g.main(["--check"], managed=folder), 0)

    def test_the_checked_in_files_match_the_table(self):
        self.assertEqual(g.main(["--check"]), 0)


if __name__ == "__main__":
    unittest.main()
