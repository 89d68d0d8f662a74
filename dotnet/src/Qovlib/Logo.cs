#if SYSTEM_DRAWING
using System;
using System.Drawing;
using System.Drawing.Imaging;
using System.Runtime.InteropServices;

namespace Qovlib
{
    /// <summary>A logo definition as the library made it (printer_PNGLogo_NORMAL).</summary>
    public sealed class Logo
    {
        /// <summary>The name the printer stores it under.</summary>
        public string Name { get; private set; }
        /// <summary>The ~LOGO; text the library returned (and sent, when a connection was open).</summary>
        public byte[] Definition { get; private set; }
        /// <summary>Height in dots, as declared.</summary>
        public int Height { get; private set; }
        /// <summary>Width in dots, as declared (widened as <see cref="Pack"/> says).</summary>
        public int Width { get; private set; }

        Logo(string name, byte[] definition, int height, int width)
        {
            Name = name;
            Definition = definition;
            Height = height;
            Width = width;
        }

        /// <summary>
        /// Turns a bitmap into a logo definition with the library, which also
        /// sends it at once on the current connection when one is open, so the
        /// printer stores it under <paramref name="name"/>. Pass the open
        /// <paramref name="printer"/> to make sure it goes there. Pixels darker
        /// than <paramref name="threshold"/> (0..255, after flattening
        /// transparency onto white) are dots. Place it with <see cref="Form.AddLogo"/>.
        /// </summary>
        public static Logo FromBitmap(Bitmap bitmap, string name, Printer printer = null, int threshold = 128)
        {
            Marshalling.Ansi(name, "name");
            int height, width;
            byte[] picture = Pack(bitmap, threshold, out height, out width);
            lock (Library.Lock)
            {
                if (printer != null) printer.RequireOpen();
                return new Logo(name, Native.printer_PNGLogo_NORMAL(picture, name, height, width), height, width);
            }
        }

        /// <summary>
        /// Packs a bitmap the way printer_PNGLogo_NORMAL reads pictures: rows
        /// of (width + 4) / 8 bytes, leftmost pixel in the top bit, 0 for a dot.
        /// The library reads only (width + 4) / 8 bytes a row, which would drop
        /// the last 1 to 3 pixels of a width of 8k + 1 to 8k + 3; such pictures
        /// are widened with blank columns to 8k + 4, so that no dot is lost.
        /// </summary>
        public static byte[] Pack(Bitmap bitmap, int threshold, out int height, out int width)
        {
            if (bitmap == null) throw new ArgumentNullException("bitmap");
            if (threshold < 0 || threshold > 255) throw new ArgumentOutOfRangeException("threshold", "0 to 255");
            int source = bitmap.Width;
            height = bitmap.Height;
            width = source % 8 >= 1 && source % 8 <= 3 ? source + 4 - source % 8 : source;
            int stride = (width + 4) / 8;
            var packed = new byte[stride * height];
            for (int i = 0; i < packed.Length; i++) packed[i] = 0xFF;
            var rect = new Rectangle(0, 0, source, height);
            BitmapData data = bitmap.LockBits(rect, ImageLockMode.ReadOnly, PixelFormat.Format32bppArgb);
            try
            {
                var row = new byte[source * 4];
                for (int y = 0; y < height; y++)
                {
                    Marshal.Copy(IntPtr.Add(data.Scan0, y * data.Stride), row, 0, row.Length);
                    for (int x = 0; x < source; x++)
                    {
                        int b = row[4 * x], g = row[4 * x + 1], r = row[4 * x + 2], a = row[4 * x + 3];
                        int gray = (r * 299 + g * 587 + b * 114) / 1000;
                        int onWhite = (gray * a + 255 * (255 - a)) / 255;
                        if (onWhite < threshold) packed[y * stride + x / 8] &= (byte)~(0x80 >> (x % 8));
                    }
                }
            }
            finally
            {
                bitmap.UnlockBits(data);
            }
            return packed;
        }
    }
}
#endif
