using System;
using System.IO;
using System.Runtime.InteropServices;

namespace Qovlib
{
    /// <summary>Which names the 40 decorated exports have in the loaded library.</summary>
    public enum SymbolTable
    {
        /// <summary>The C++ symbols of libqovlib.so (Linux).</summary>
        Itanium,
        /// <summary>The Microsoft decorations of the x64 QOVLIB.dll.</summary>
        Microsoft64,
        /// <summary>The Microsoft decorations of the x86 QOVLIB.dll (they differ from x64's).</summary>
        Microsoft32,
    }

    /// <summary>
    /// The native library: its name, the symbol table chosen for this process,
    /// and <see cref="Lock"/>, the lock every call of this package takes.
    /// </summary>
    /// <remarks>
    /// The library keeps one set of process-global state (one current
    /// connection, five slots, one form workspace, shared reply buffers) and
    /// has no locks of its own, so it must be called from one thread at a
    /// time. <see cref="Printer"/>, <see cref="Form"/> and <see cref="Logo"/>
    /// hold <see cref="Lock"/> around every call they make (it is a monitor,
    /// so it is re-entrant: <c>lock (Library.Lock) { ... }</c> around several
    /// calls of this package is fine). <see cref="Native"/> does not lock:
    /// code that calls it from several threads, or mixes it with the layer
    /// above, must hold <see cref="Lock"/> around those calls.
    /// </remarks>
    public static class Library
    {
        /// <summary>
        /// The name the exports are imported from: libqovlib.so on Linux,
        /// QOVLIB.dll on Windows (file names there ignore case).
        /// </summary>
        public const string Name = "qovlib";

        /// <summary>Serialises every call into the library (see the class remarks).</summary>
        public static readonly object Lock = new object();

        internal const string Unsupported = "QOVLIB exists for Windows (x86, x64) and Linux only";

        /// <summary>True on Windows.</summary>
        public static bool IsWindows
        {
            get { return Environment.OSVersion.Platform == PlatformID.Win32NT; }
        }

        /// <summary>The decorated names this process binds: chosen by the platform and, on Windows, the process's size.</summary>
        public static SymbolTable Table
        {
            get { return IsWindows ? (IntPtr.Size == 8 ? SymbolTable.Microsoft64 : SymbolTable.Microsoft32) : SymbolTable.Itanium; }
        }

        /// <summary>The QOVLIB.dll this process loaded ahead of its first call, or null (the system's search found it).</summary>
        public static string LoadedFrom { get; private set; }

        static readonly object loadLock = new object();
        static bool prepared;

        /// <summary>
        /// On Windows, loads the QOVLIB.dll of this process's size before the
        /// first call: the file named by QOVLIB_LIBRARY, else
        /// <c>x64\QOVLIB.dll</c> or <c>x86\QOVLIB.dll</c> beside this assembly
        /// or the application (where the package's build file puts them for
        /// AnyCPU projects). The imports then bind to it; without such a file
        /// the system's search (the application's folder first) finds QOVLIB.dll.
        /// A DLL of the other size raises <see cref="BadImageFormatException"/>
        /// naming it, rather than failing later at some call. Elsewhere it does
        /// nothing: libqovlib.so is found beside this assembly or by the system.
        /// </summary>
        public static void Prepare()
        {
            lock (loadLock)
            {
                if (prepared) return;
                prepared = true;
                if (!IsWindows) return;
                foreach (var path in WindowsCandidates())
                {
                    if (!File.Exists(path)) continue;
                    if (LoadLibraryW(path) == IntPtr.Zero)
                    {
                        int error = Marshal.GetLastWin32Error();
                        if (error == 193) // ERROR_BAD_EXE_FORMAT
                            throw new BadImageFormatException(
                                string.Format("{0} is not a QOVLIB.dll for a {1}-bit process", path, IntPtr.Size * 8), path);
                        throw new DllNotFoundException(string.Format("cannot load {0} (Windows error {1})", path, error));
                    }
                    LoadedFrom = path;
                    return;
                }
            }
        }

        static string[] WindowsCandidates()
        {
            string arch = IntPtr.Size == 8 ? "x64" : "x86";
            string env = Environment.GetEnvironmentVariable("QOVLIB_LIBRARY");
            string location = typeof(Library).Assembly.Location; // "" for an assembly loaded from bytes
            string here = string.IsNullOrEmpty(location) ? "" : Path.GetDirectoryName(location) ?? "";
            string app = AppDomain.CurrentDomain.BaseDirectory ?? "";
            return new[]
            {
                string.IsNullOrEmpty(env) ? "" : env,
                Path.Combine(Path.Combine(here, arch), "QOVLIB.dll"),
                Path.Combine(Path.Combine(app, arch), "QOVLIB.dll"),
            };
        }

        [DllImport("kernel32.dll", CharSet = CharSet.Unicode, SetLastError = true)]
        static extern IntPtr LoadLibraryW(string path);
    }

    /// <summary>One export: its name and its symbol in each library build.</summary>
    public sealed class ExportEntry
    {
        /// <summary>The exported function's name, as in qovlib.h.</summary>
        public string Name { get; private set; }
        /// <summary>Unique per entry: the name, but UsbRead_judge_wait for the three-argument UsbRead_judge.</summary>
        public string Key { get; private set; }
        /// <summary>The libqovlib.so symbol of a decorated export; null for a plain one.</summary>
        public string Itanium { get; private set; }
        /// <summary>The x64 QOVLIB.dll name of a decorated export; null for a plain one.</summary>
        public string Microsoft64 { get; private set; }
        /// <summary>The x86 QOVLIB.dll name of a decorated export; null for a plain one.</summary>
        public string Microsoft32 { get; private set; }

        internal ExportEntry(string name, string key, string itanium, string microsoft64, string microsoft32)
        {
            Name = name;
            Key = key;
            Itanium = itanium;
            Microsoft64 = microsoft64;
            Microsoft32 = microsoft32;
        }

        /// <summary>True for the 40 exports that have C++ (decorated) names.</summary>
        public bool IsDecorated
        {
            get { return Itanium != null; }
        }

        /// <summary>The symbol this export has in the given table.</summary>
        public string Symbol(SymbolTable table)
        {
            if (!IsDecorated) return Name;
            switch (table)
            {
                case SymbolTable.Itanium: return Itanium;
                case SymbolTable.Microsoft64: return Microsoft64;
                default: return Microsoft32;
            }
        }
    }

    /// <summary>
    /// The library's 114 exports one to one, under their exact names. Text
    /// arguments are encoded in the ANSI code page (<see cref="Marshalling.Ansi"/>),
    /// wide text as wchar_t (UTF-16 on Windows, UTF-32 on Linux); texts the
    /// library returns are copied into byte arrays at once; the blocks the
    /// caller owns are copied and released. The 40 decorated exports are bound
    /// by the names of <see cref="Library.Table"/>. Nothing here locks: hold
    /// <see cref="Library.Lock"/> when calling from several threads.
    /// </summary>
    public static partial class Native
    {
        static Native()
        {
            Library.Prepare();
        }

        // sendcommandutf8 of text already in the ANSI code page (a form's text), byte for byte.
        internal static int SendUtf8(byte[] ansiText)
        {
            return P.sendcommandutf8(Marshalling.Terminated(ansiText, "ansiText"));
        }
    }
}
