using System;
using System.Diagnostics;
using System.IO;
using System.Linq;
using System.Reflection;
using System.Runtime.InteropServices;
using System.Text.RegularExpressions;
using NUnit.Framework;

namespace Qovlib.Tests
{
    /// <summary>The entry-point tables of the one-to-one layer against what each library build exports.</summary>
    [TestFixture]
    public class ExportTableTests
    {
        static string[] Listed(string arch)
        {
            string file = Path.Combine(Build.Env("QOVLIB_EXPORT_LISTS"), "QOVLIB-" + arch + ".txt");
            return File.ReadAllLines(file).Select(l => l.Trim()).Where(l => l.Length > 0).ToArray();
        }

        [TestCase(SymbolTable.Microsoft64, "x64")]
        [TestCase(SymbolTable.Microsoft32, "x86")]
        public void Windows_names_are_exactly_those_the_dll_exports(SymbolTable table, string arch)
        {
            var ours = Native.Exports.Select(e => e.Symbol(table)).OrderBy(s => s, StringComparer.Ordinal).ToArray();
            var listed = Listed(arch).OrderBy(s => s, StringComparer.Ordinal).ToArray();
            Assert.AreEqual(114, listed.Length);
            CollectionAssert.AreEqual(listed, ours, "missing: " + string.Join(" ", listed.Except(ours)) +
                "; not exported: " + string.Join(" ", ours.Except(listed)));
        }

        [Test]
        public void Linux_symbols_are_exactly_the_api_of_libqovlib_so()
        {
            var nm = new ProcessStartInfo("nm", "-D --defined-only \"" + Path.Combine(Build.Linux, "libqovlib.so") + "\"")
            {
                UseShellExecute = false,
                RedirectStandardOutput = true,
            };
            string dump;
            using (var run = Process.Start(nm))
            {
                dump = run.StandardOutput.ReadToEnd();
                run.WaitForExit();
                Assert.AreEqual(0, run.ExitCode, "nm failed");
            }
            // Template instances of the C++ library that the .so carries are no API.
            var symbols = dump.Split('\n').Where(l => l.Trim().Length > 0).Select(l => l.Split(' ').Last())
                .Where(s => !Regex.IsMatch(s, "^_Z(N|Z|St)")).OrderBy(s => s, StringComparer.Ordinal).ToArray();
            var ours = Native.Exports.Select(e => e.Symbol(SymbolTable.Itanium)).OrderBy(s => s, StringComparer.Ordinal).ToArray();
            CollectionAssert.AreEqual(symbols, ours);
        }

        [Test]
        public void Table_has_74_plain_and_40_decorated_names_matching_the_definition_file()
        {
            Assert.AreEqual(114, Native.Exports.Length);
            Assert.AreEqual(114, Native.Exports.Select(e => e.Key).Distinct().Count());
            Assert.AreEqual(40, Native.Exports.Count(e => e.IsDecorated));
            foreach (var line in File.ReadAllLines(Path.Combine(Build.Root, "QOVLIB.def")).Where(l => l.StartsWith("?")))
            {
                string[] pair = line.Trim().Split('=');
                Assert.IsTrue(Native.Exports.Any(e => e.Microsoft64 == pair[0] && e.Itanium == pair[1]), line);
            }
        }

        [Test]
        public void Every_public_method_of_Native_is_an_export_under_its_exact_name()
        {
            var methods = typeof(Native).GetMethods(BindingFlags.Public | BindingFlags.Static)
                .Select(m => m.Name).Distinct().OrderBy(s => s, StringComparer.Ordinal).ToArray();
            var names = Native.Exports.Select(e => e.Name).Distinct().OrderBy(s => s, StringComparer.Ordinal).ToArray();
            CollectionAssert.AreEqual(names, methods);
            Assert.AreEqual(2, typeof(Native).GetMethods().Count(m => m.Name == "UsbRead_judge"));
        }

        [Test]
        public void Every_import_of_this_platform_binds_in_the_loaded_library()
        {
            Assert.AreEqual(SymbolTable.Itanium, Library.Table);
            int bound = 0;
            foreach (string table in new[] { "P", "I" })
            {
                var type = typeof(Native).GetNestedType(table, BindingFlags.NonPublic);
                foreach (var method in type.GetMethods(BindingFlags.Static | BindingFlags.NonPublic))
                {
                    var import = method.GetCustomAttribute<DllImportAttribute>();
                    Assert.AreEqual(Library.Name, import.Value);
                    Assert.DoesNotThrow(() => Marshal.Prelink(method), import.EntryPoint);
                    bound++;
                }
            }
            Assert.AreEqual(114, bound);
        }
    }
}
