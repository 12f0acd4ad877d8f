// The public members of every managed class against the list the binding promises
// (api_surface.txt): nothing missing, nothing extra.

using System;
using System.Collections.Generic;
using System.IO;
using System.Reflection;
using System.Text;
using NUnit.Framework;
using velmora.clr;

namespace velmora.clr.tests
{
    [TestFixture]
    public class ApiSurfaceTests
    {
        private static readonly Dictionary<Type, String> Keywords = new Dictionary<Type, String>
        {
            { typeof(double), "double" }, { typeof(float), "float" }, { typeof(int), "int" },
            { typeof(uint), "uint" }, { typeof(short), "short" }, { typeof(ushort), "ushort" },
            { typeof(long), "long" }, { typeof(ulong), "ulong" }, { typeof(byte), "byte" },
            { typeof(sbyte), "sbyte" }, { typeof(bool), "bool" }, { typeof(char), "char" },
            { typeof(void), "void" }
        };

        /// <summary>A type as the list writes it: C# keywords, nested types as Outer.Inner,
        /// generic arguments in angle brackets, by-reference with a trailing &amp;.</summary>
        internal static String TypeName(Type t)
        {
            if (t.IsByRef) return TypeName(t.GetElementType()) + "&";
            if (t.IsArray) return TypeName(t.GetElementType()) + "[" + new String(',', t.GetArrayRank() - 1) + "]";
            String keyword;
            if (Keywords.TryGetValue(t, out keyword)) return keyword;
            String name = t.Name;
            if (t.IsGenericType)
            {
                List<String> args = new List<String>();
                foreach (Type a in t.GetGenericArguments()) args.Add(TypeName(a));
                name = name.Substring(0, name.IndexOf('`')) + "<" + String.Join(",", args.ToArray()) + ">";
            }
            return t.IsNested ? TypeName(t.DeclaringType) + "." + name : name;
        }

        private static String Signature(String name, ParameterInfo[] parameters)
        {
            List<String> types = new List<String>();
            foreach (ParameterInfo p in parameters) types.Add(TypeName(p.ParameterType));
            return name + "(" + String.Join(",", types.ToArray()) + ")";
        }

        /// <summary>The public constructors and methods a class declares itself (accessors of
        /// properties included, under their method names).</summary>
        internal static HashSet<String> Declared(Type type)
        {
            const BindingFlags flags = BindingFlags.Public | BindingFlags.Instance | BindingFlags.Static |
                                       BindingFlags.DeclaredOnly;
            HashSet<String> members = new HashSet<String>();
            foreach (ConstructorInfo c in type.GetConstructors(flags)) members.Add(Signature(".ctor", c.GetParameters()));
            foreach (MethodInfo m in type.GetMethods(flags)) members.Add(Signature(m.Name, m.GetParameters()));
            foreach (FieldInfo f in type.GetFields(flags)) members.Add("field " + f.Name);
            foreach (EventInfo e in type.GetEvents(flags)) members.Add("event " + e.Name);
            return members;
        }

        /// <summary>The list: class name to its members, from the hand-written part and the part
        /// written from the table of operations (a member in both is listed twice).</summary>
        internal static Dictionary<String, HashSet<String>> Expected()
        {
            Dictionary<String, HashSet<String>> classes = new Dictionary<String, HashSet<String>>();
            foreach (String list in new String[] { "api_surface.txt", "api_surface_operations.txt" })
            using (Stream s = typeof(ApiSurfaceTests).Assembly.GetManifestResourceStream(list))
            using (StreamReader reader = new StreamReader(s, Encoding.UTF8))
            {
                String line;
                while ((line = reader.ReadLine()) != null)
                {
                    line = line.Trim();
                    if (line.Length == 0 || line.StartsWith("#")) continue;
                    int space = line.IndexOf(' ');
                    String cls = line.Substring(0, space);
                    if (!classes.ContainsKey(cls)) classes[cls] = new HashSet<String>();
                    Assert.IsTrue(classes[cls].Add(line.Substring(space + 1)), "listed twice: " + line);
                }
            }
            return classes;
        }

        [Test]
        public void TypeNamesFollowTheListsNotation()
        {
            Object[][] cases =
            {
                new Object[] { typeof(double[]).MakeByRefType(), "double[]&" },
                new Object[] { typeof(int[][]), "int[][]" },
                new Object[] { typeof(double[,]), "double[,]" },
                new Object[] { typeof(List<SDOData>), "List<SDOData>" },
                new Object[] { typeof(Dictionary<String, Object>), "Dictionary<String,Object>" },
                new Object[] { typeof(DragOpt.Space), "DragOpt.Space" },
                new Object[] { typeof(ushort), "ushort" },
            };
            foreach (Object[] c in cases) Assert.AreEqual((String)c[1], TypeName((Type)c[0]));
        }

        [Test]
        public void EveryClassHasExactlyTheListedMembers()
        {
            Dictionary<String, HashSet<String>> expected = Expected();
            Assembly clr = typeof(BaseRobot).Assembly;
            List<String> failures = new List<String>();
            foreach (KeyValuePair<String, HashSet<String>> cls in expected)
            {
                Type type = clr.GetType("velmora.clr." + cls.Key);
                if (type == null)
                {
                    failures.Add(cls.Key + ": no such public class");
                    continue;
                }
                Assert.IsTrue(type.IsPublic, cls.Key);
                HashSet<String> actual = Declared(type);
                foreach (String member in actual)
                    if (!cls.Value.Contains(member)) failures.Add(cls.Key + ": extra " + member);
                foreach (String member in cls.Value)
                    if (!actual.Contains(member)) failures.Add(cls.Key + ": missing " + member);
            }
            Assert.IsEmpty(failures, String.Join("\n", failures.ToArray()));
        }
    }
}
