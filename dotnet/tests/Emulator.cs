using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.IO;
using System.Linq;
using System.Threading;
using NUnit.Framework;

namespace Qovlib.Tests
{
    /// <summary>Paths of the build the suite runs against (set by scripts/dotnet_tests.sh).</summary>
    static class Build
    {
        public static string Root { get { return Env("QOVLIB_SOURCE_DIR"); } }
        public static string Linux { get { return Path.Combine(Root, "build", "linux"); } }
        public static string Dotnet { get { return Path.Combine(Root, "build", "dotnet"); } }

        public static string Env(string name)
        {
            string value = Environment.GetEnvironmentVariable(name);
            if (string.IsNullOrEmpty(value)) Assert.Fail(name + " is not set: run scripts/dotnet_tests.sh");
            return value;
        }

        /// <summary>A fresh folder under the run's scratch folder.</summary>
        public static string Scratch(string name)
        {
            string dir = Path.Combine(Env("QOVLIB_TEST_TMP"), name + "-" + Guid.NewGuid().ToString("N").Substring(0, 8));
            Directory.CreateDirectory(dir);
            return dir;
        }
    }

    /// <summary>A running qovemu on a free TCP port (and a pty with serial); every byte received lands in its captures.</summary>
    sealed class Emulator : IDisposable
    {
        readonly Process process;
        readonly string captures;
        readonly List<string> output = new List<string>();

        public int Port { get; private set; }
        public string SerialDevice { get; private set; }

        public Emulator(bool serial = false, string options = "")
        {
            string dir = Build.Scratch("qovemu");
            captures = Path.Combine(dir, "captures");
            Directory.CreateDirectory(captures);
            var start = new ProcessStartInfo(Path.Combine(Build.Linux, "qovemu"),
                "--port 0 --capture-dir \"" + captures + "\"" + (serial ? " --serial" : "") + " " + options)
            {
                UseShellExecute = false,
                RedirectStandardOutput = true,
                RedirectStandardError = true,
            };
            process = new Process { StartInfo = start };
            var ready = new ManualResetEventSlim();
            DataReceivedEventHandler take = (sender, e) =>
            {
                if (e.Data == null) return;
                lock (output) output.Add(e.Data);
                if (e.Data.StartsWith("listening 127.0.0.1:", StringComparison.Ordinal))
                    Port = int.Parse(e.Data.Substring(e.Data.LastIndexOf(':') + 1));
                if (e.Data.StartsWith("serial ", StringComparison.Ordinal)) SerialDevice = e.Data.Substring(7);
                if (Port != 0 && (!serial || SerialDevice != null)) ready.Set();
            };
            process.OutputDataReceived += take;
            process.ErrorDataReceived += take;
            process.Start();
            process.BeginOutputReadLine();
            process.BeginErrorReadLine();
            if (!ready.Wait(TimeSpan.FromSeconds(10)))
            {
                Stop();
                Assert.Fail("qovemu did not start: " + Log);
            }
        }

        public string Log { get { lock (output) return string.Join("\n", output); } }

        /// <summary>Stops qovemu (SIGTERM through kill: connections closed, captures flushed).</summary>
        public void Stop()
        {
            if (process.HasExited) return;
            using (var kill = Process.Start(new ProcessStartInfo("kill", "-TERM " + process.Id) { UseShellExecute = false }))
                kill.WaitForExit();
            if (!process.WaitForExit(10000)) process.Kill();
            process.WaitForExit();
        }

        /// <summary>What each TCP connection sent, in connection order (stops the emulator).</summary>
        public List<byte[]> Captures(string transport = "tcp")
        {
            Stop();
            return Directory.GetFiles(captures, "conn-*-" + transport + ".bin").OrderBy(p => p, StringComparer.Ordinal)
                .Select(File.ReadAllBytes).ToList();
        }

        /// <summary>Removes the capture files (the large ones of a long run).</summary>
        public void DeleteCaptures()
        {
            Stop();
            Directory.Delete(captures, true);
        }

        public void Dispose()
        {
            Stop();
            process.Dispose();
        }
    }

    static class Bytes
    {
        public static byte[] Of(string text)
        {
            return Marshalling.AnsiEncoding.GetBytes(text);
        }

        public static string Show(byte[] data)
        {
            return data == null ? "null" : Marshalling.Decode(data).Replace("\r", "\\r").Replace("\n", "\\n");
        }

        public static void AreEqual(string expected, byte[] actual, string message = null)
        {
            Assert.AreEqual(Show(Of(expected)), Show(actual), message);
            CollectionAssert.AreEqual(Of(expected), actual, message);
        }
    }
}
