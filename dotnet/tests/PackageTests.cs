using System;
using System.Diagnostics;
using System.IO;
using System.IO.Compression;
using System.Linq;
using System.Text.RegularExpressions;
using System.Xml.Linq;
using NUnit.Framework;

namespace Qovlib.Tests
{
    /// <summary>The .nupkg as a user receives it: its layout, its native files, and a project built on it.</summary>
    [TestFixture]
    public class PackageTests
    {
        static string Version()
        {
            string cmake = File.ReadAllText(Path.Combine(Build.Root, "CMakeLists.txt"));
            return Regex.Match(cmake, @"project\(qovlib VERSION ([0-9.]+)").Groups[1].Value;
        }

        static byte[] Entry(ZipArchive zip, string name)
        {
            var entry = zip.GetEntry(name);
            Assert.IsNotNull(entry, name + " is missing");
            using (var stream = entry.Open())
            using (var copy = new MemoryStream())
            {
                stream.CopyTo(copy);
                return copy.ToArray();
            }
        }

        [Test]
        public void Layout_version_and_metadata()
        {
            string package = Build.Env("QOVLIB_PACKAGE");
            Assert.AreEqual("Qovlib." + Version() + ".nupkg", Path.GetFileName(package));
            using (var zip = ZipFile.OpenRead(package))
            {
                var files = zip.Entries.Select(e => e.FullName).Where(n => !n.StartsWith("_rels/") && !n.StartsWith("package/") && n != "[Content_Types].xml")
                    .OrderBy(n => n, StringComparer.Ordinal).ToArray();
                CollectionAssert.AreEqual(new[]
                {
                    "Qovlib.nuspec", "build/Qovlib.targets", "lib/net45/Qovlib.dll", "lib/net45/Qovlib.xml",
                    "runtimes/linux-x64/native/libqovlib.so", "runtimes/win-x64/native/QOVLIB.dll", "runtimes/win-x86/native/QOVLIB.dll",
                }, files);
                var nuspec = XDocument.Load(new MemoryStream(Entry(zip, "Qovlib.nuspec")));
                var meta = nuspec.Root.Elements().First(e => e.Name.LocalName == "metadata");
                Assert.AreEqual("Qovlib", meta.Elements().First(e => e.Name.LocalName == "id").Value);
                Assert.AreEqual(Version(), meta.Elements().First(e => e.Name.LocalName == "version").Value);
                var assembly = System.Reflection.Assembly.Load(Entry(zip, "lib/net45/Qovlib.dll"));
                Assert.AreEqual("v4.0.30319", assembly.ImageRuntimeVersion);
                Assert.IsNotNull(assembly.GetType("Qovlib.Native"));
            }
        }

        [TestCase("runtimes/win-x86/native/QOVLIB.dll", (ushort)0x14C, "x86")]
        [TestCase("runtimes/win-x64/native/QOVLIB.dll", (ushort)0x8664, "x64")]
        public void Each_dll_is_of_its_architecture_and_exports_the_114_names(string name, ushort machine, string arch)
        {
            using (var zip = ZipFile.OpenRead(Build.Env("QOVLIB_PACKAGE")))
            {
                var pe = new PeFile(Entry(zip, name));
                Assert.AreEqual(machine, pe.Machine, "machine field");
                var listed = File.ReadAllLines(Path.Combine(Build.Env("QOVLIB_EXPORT_LISTS"), "QOVLIB-" + arch + ".txt"))
                    .Where(l => l.Trim().Length > 0).OrderBy(l => l, StringComparer.Ordinal).ToArray();
                CollectionAssert.AreEqual(listed, pe.Exports().OrderBy(l => l, StringComparer.Ordinal).ToArray());
                var table = arch == "x64" ? SymbolTable.Microsoft64 : SymbolTable.Microsoft32;
                CollectionAssert.AreEquivalent(pe.Exports(), Native.Exports.Select(e => e.Symbol(table)));
                // Caller-owned blocks are released with msvcrt's free: the DLL must allocate them there.
                CollectionAssert.IsSubsetOf(new[] { "msvcrt.dll!malloc", "msvcrt.dll!free" }, pe.Imports());
            }
        }

        [Test]
        public void The_linux_library_is_x86_64_elf()
        {
            using (var zip = ZipFile.OpenRead(Build.Env("QOVLIB_PACKAGE")))
            {
                byte[] so = Entry(zip, "runtimes/linux-x64/native/libqovlib.so");
                CollectionAssert.AreEqual(new byte[] { 0x7F, (byte)'E', (byte)'L', (byte)'F', 2 }, so.Take(5).ToArray());
                Assert.AreEqual(62, BitConverter.ToUInt16(so, 18), "EM_X86_64");
            }
        }

        [TestCase("AnyCPU", new[] { "x64/QOVLIB.dll:34404", "x86/QOVLIB.dll:332" })]
        [TestCase("x86", new[] { "QOVLIB.dll:332" })]
        [TestCase("x64", new[] { "QOVLIB.dll:34404" })]
        public void A_framework_project_gets_the_dll_of_its_platform(string platform, string[] expected)
        {
            string dir = Build.Scratch("project-" + platform);
            ZipFile.ExtractToDirectory(Build.Env("QOVLIB_PACKAGE"), Path.Combine(dir, "packages", "Qovlib"));
            File.WriteAllText(Path.Combine(dir, "Program.cs"),
                "class Program { static void Main() { System.Console.WriteLine(Qovlib.Library.Table); } }");
            File.WriteAllText(Path.Combine(dir, "App.csproj"),
@"<Project ToolsVersion=""4.0"" DefaultTargets=""Build"" xmlns=""http://schemas.microsoft.com/developer/msbuild/2003"">
  <PropertyGroup>
    <OutputType>Exe</OutputType>
    <AssemblyName>App</AssemblyName>
    <TargetFrameworkVersion>v4.5</TargetFrameworkVersion>
    <PlatformTarget>" + platform + @"</PlatformTarget>
    <OutputPath>out\</OutputPath>
  </PropertyGroup>
  <ItemGroup>
    <Reference Include=""System"" />
    <Reference Include=""Qovlib""><HintPath>packages\Qovlib\lib\net45\Qovlib.dll</HintPath></Reference>
    <Compile Include=""Program.cs"" />
  </ItemGroup>
  <Import Project=""$(MSBuildToolsPath)\Microsoft.CSharp.targets"" />
  <Import Project=""packages\Qovlib\build\Qovlib.targets"" />
</Project>");
            var start = new ProcessStartInfo("xbuild", "/nologo /verbosity:quiet App.csproj")
            {
                WorkingDirectory = dir,
                UseShellExecute = false,
                RedirectStandardOutput = true,
                RedirectStandardError = true,
            };
            using (var build = Process.Start(start))
            {
                string log = build.StandardOutput.ReadToEnd() + build.StandardError.ReadToEnd();
                Assert.IsTrue(build.WaitForExit(120000));
                Assert.AreEqual(0, build.ExitCode, log);
            }
            string output = Path.Combine(dir, "out");
            var found = Directory.GetFiles(output, "QOVLIB.dll", SearchOption.AllDirectories)
                .Select(p => p.Substring(output.Length + 1).Replace('\\', '/') + ":" + new PeFile(File.ReadAllBytes(p)).Machine)
                .OrderBy(p => p, StringComparer.Ordinal).ToArray();
            CollectionAssert.AreEqual(expected, found);
            Assert.IsTrue(File.Exists(Path.Combine(output, "Qovlib.dll")));
        }
    }
}
