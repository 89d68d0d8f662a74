using System;
using System.Runtime.InteropServices;
using System.Text;

namespace Qovlib
{
    /// <summary>The conversions between .NET values and the library's C types.</summary>
    public static class Marshalling
    {
        static Encoding ansi;

        /// <summary>
        /// The library's ANSI code page, strict both ways: the system's ANSI
        /// code page on Windows; Windows-1252 on Linux unless
        /// QOVLIB_ANSI_CODEPAGE names another (a code-page number or an
        /// encoding name), as the library reads it.
        /// </summary>
        public static Encoding AnsiEncoding
        {
            get
            {
                if (ansi == null)
                {
                    int number = 1252;
                    string name = null;
                    if (Library.IsWindows)
                        number = GetACP();
                    else
                    {
                        string value = Environment.GetEnvironmentVariable("QOVLIB_ANSI_CODEPAGE");
                        if (!string.IsNullOrEmpty(value) && !int.TryParse(value, out number))
                            name = value;
                    }
                    ansi = name != null
                        ? Encoding.GetEncoding(name, EncoderFallback.ExceptionFallback, DecoderFallback.ReplacementFallback)
                        : Encoding.GetEncoding(number, EncoderFallback.ExceptionFallback, DecoderFallback.ReplacementFallback);
                }
                return ansi;
            }
        }

        /// <summary>
        /// 8-bit text for the library: the ANSI code page, NUL-terminated.
        /// Refuses null, a NUL character (the library would stop there) and a
        /// character the code page lacks (it would arrive as something else).
        /// </summary>
        public static byte[] Ansi(string text, string parameter)
        {
            if (text == null) throw new ArgumentNullException(parameter, "the library needs a text here");
            if (text.IndexOf('\0') >= 0) throw new ArgumentException("text for the library cannot contain a NUL character", parameter);
            byte[] encoded;
            try
            {
                encoded = AnsiEncoding.GetBytes(text);
            }
            catch (EncoderFallbackException error)
            {
                throw new ArgumentException(string.Format("{0} has a character that code page {1} cannot write ({2})",
                    parameter, AnsiEncoding.WebName, error.Message), parameter);
            }
            return Terminate(encoded, 1);
        }

        /// <summary>Wide text (wchar_t): UTF-16 on Windows, UTF-32 on Linux, NUL-terminated.</summary>
        public static byte[] Wide(string text, string parameter)
        {
            if (text == null) throw new ArgumentNullException(parameter, "the library needs a text here");
            if (text.IndexOf('\0') >= 0) throw new ArgumentException("text for the library cannot contain a NUL character", parameter);
            Encoding wide = Library.IsWindows
                ? (Encoding)new UnicodeEncoding(false, false, true)
                : new UTF32Encoding(false, false, true);
            return Terminate(wide.GetBytes(text), Library.IsWindows ? 2 : 4);
        }

        /// <summary>A counted byte block, passed as it is (NUL bytes included).</summary>
        public static byte[] Bytes(byte[] data, string parameter)
        {
            if (data == null) throw new ArgumentNullException(parameter);
            return data;
        }

        /// <summary>Bytes that the library reads up to a NUL: a terminated copy; a NUL inside is refused.</summary>
        public static byte[] Terminated(byte[] data, string parameter)
        {
            if (data == null) throw new ArgumentNullException(parameter);
            if (Array.IndexOf(data, (byte)0) >= 0) throw new ArgumentException("text for the library cannot contain a NUL byte", parameter);
            return Terminate(data, 1);
        }

        static byte[] Terminate(byte[] data, int width)
        {
            var result = new byte[data.Length + width];
            Buffer.BlockCopy(data, 0, result, 0, data.Length);
            return result;
        }

        internal static void CheckCount(byte[] data, int length)
        {
            if (data == null) throw new ArgumentNullException("data");
            if (length < 0 || length > data.Length)
                throw new ArgumentOutOfRangeException("length", length, string.Format("outside the {0} bytes of data", data.Length));
        }

        internal static void CheckPicture(byte[] picture, int height, int width)
        {
            if (picture == null) throw new ArgumentNullException("picture");
            long needed = (long)Math.Max(height, 0) * Math.Max((width + 4) / 8, 0);
            if (picture.Length < needed)
                throw new ArgumentException(string.Format("a {0} x {1} picture needs {2} bytes, got {3}", width, height, needed, picture.Length), "picture");
        }

        /// <summary>Text the library owns: copied at once (it is overwritten by later calls). Null reads as empty.</summary>
        public static byte[] LibraryText(IntPtr text)
        {
            if (text == IntPtr.Zero) return new byte[0];
            int length = 0;
            while (Marshal.ReadByte(text, length) != 0) length++;
            var copy = new byte[length];
            Marshal.Copy(text, copy, 0, length);
            return copy;
        }

        /// <summary>
        /// A block the caller owns (from the library's malloc): copied, then
        /// released with the free of the C runtime the library uses (the C
        /// library on Linux, msvcrt.dll on Windows). Null is an allocation failure.
        /// </summary>
        public static byte[] CallerBlock(IntPtr block)
        {
            if (block == IntPtr.Zero) throw new OutOfMemoryException("the library could not allocate the text block");
            byte[] copy = LibraryText(block);
            if (Library.IsWindows) msvcrt_free(block);
            else libc_free(block);
            return copy;
        }

        /// <summary>Library text as a string, decoded from the ANSI code page (unknown bytes become U+FFFD).</summary>
        public static string Decode(byte[] text)
        {
            return AnsiEncoding.GetString(text);
        }

        [DllImport("libc.so.6", EntryPoint = "free", CallingConvention = CallingConvention.Cdecl)]
        static extern void libc_free(IntPtr block);

        [DllImport("msvcrt.dll", EntryPoint = "free", CallingConvention = CallingConvention.Cdecl)]
        static extern void msvcrt_free(IntPtr block);

        [DllImport("kernel32.dll")]
        static extern int GetACP();
    }
}
