using System;
using System.Collections.Generic;
using System.Drawing;
using System.Linq;
using System.Text;
using System.Threading;
using System.Threading.Tasks;
using NUnit.Framework;

namespace Qovlib.Tests
{
    [TestFixture]
    public class FormTests
    {
        [TearDown]
        public void CloseWhatATestLeftOpen()
        {
            var printer = Printer.Current;
            if (printer != null) printer.Close();
        }

        static Form Sample()
        {
            var settings = new FormSettings
            {
                Width = 4000, Length = 6000, Speed = 4, Intensity = 2, Labels = 1, Media = 0, Rotate = 90,
                CreateValue = 2, Copies = 3, ScaleHorizontal = 203, ScaleVertical = 203,
                FontName = "Mono", Bold = true, Slant = "L", CodePage = "UTF8",
            };
            return new Form("SAMPLE", settings)
                .AddText(10, 20, 1, 2, "Grüße")
                .AddTwoByteText(12, 20, 1, 1, "AB")
                .AddBarcode(BarcodeKind.Code128B, 20, 5, "12345", new BarcodeOptions { H = "8", Rotation = 90, X = "2", HumanReadable = true })
                .AddBarcode(BarcodeKind.QrCode, 30, 5, "QR DATA")
                .AddBox(2, 1, 1, 40, 60)
                .AddLine(1, 5, 1, 5, 30)
                .AddLine(1, 5, 1, 30, 1)
                .AddLine(1, 5, 1, 30, 30)
                .AddLogo(35, 2, "LOGO1")
                .RfidField(8, "0011", "H", increment: true, step: 1)
                .AddRfidWrite("LK", "HDR")
                .AddRfidVerify(8, "H", "UL", "HDR");
        }

        // The same calls, straight through the one-to-one layer.
        static int SampleThroughTheCApi()
        {
            Native.QOVA_DLLinit();
            int[] job = { 4000, 6000, 4, 2, 1, 0, 90 };
            for (int i = 0; i < job.Length; i++) Assert.AreEqual(0, Native.QOVA_JobSetup(i + 1, job[i]));
            Native.QOVA_FormSetup(1, 2);
            Native.QOVA_FormSetup(2, 3);
            Native.QOVA_Scale(203, 203);
            Native.QOVA_FontSetup(0, "Mono");
            Native.QOVA_FontSetup(1, "ON");
            Native.QOVA_FontSetup(2, "L");
            Native.QOVA_FontSetup(3, "UTF8");
            int form = Native.QOVA_CreateForm("SAMPLE");
            Native.QOVA_PrintTextEng(form, 10, 20, 1, 2, "Grüße");
            Native.QOVA_PrintTextCH(form, 12, 20, 1, 1, "AB");
            Native.QOVA_SetBarcode(2, 0, "");
            Native.QOVA_SetBarcode(2, 1, "8");
            Native.QOVA_SetBarcode(2, 2, "90");
            Native.QOVA_SetBarcode(2, 3, "2");
            Native.QOVA_SetBarcode(2, 4, "");
            Native.QOVA_PrintBarcode(form, 2, 20, 5, "12345");
            Native.QOVA_SetBarcode(7, 0, "");
            Native.QOVA_PrintBarcode(form, 7, 30, 5, "QR DATA");
            Native.QOVA_DrawBox(form, 2, 1, 1, 40, 60);
            Native.QOVA_DrawLine(form, 1, 5, 1, 5, 30);
            Native.QOVA_DrawLine(form, 1, 5, 1, 30, 1);
            Native.QOVA_DrawLine(form, 1, 5, 1, 30, 30);
            Native.QOVA_PrintImage(form, 35, 2, "LOGO1");
            Native.QOVA_SetupRFID(8, 1, "H", 1, "0011");
            Native.QOVA_WriteRFID(form, "LK", "HDR");
            Native.QOVA_VerifyRFID(form, "UL", "HDR", 8, "H");
            return form;
        }

        [Test]
        public void A_printed_form_is_byte_identical_to_what_the_c_api_sends_for_the_same_calls()
        {
            using (var emu = new Emulator())
            {
                byte[] text;
                using (var printer = Printer.Tcp("127.0.0.1", emu.Port, closeDelay: 0))
                    text = Sample().Print(printer);
                byte[] viaC;
                Assert.AreEqual(0, Native.openethernet("127.0.0.1", emu.Port));
                viaC = Native.QOVA_PrintForm(SampleThroughTheCApi());
                Native.closeethernetport(0);
                CollectionAssert.AreEqual(viaC, text);
                var captures = emu.Captures();
                Assert.AreEqual(2, captures.Count);
                CollectionAssert.AreEqual(captures[1], captures[0], Bytes.Show(captures[0]));
                // What went out is the text as UTF-8 and CR LF; the element lines are all there.
                CollectionAssert.AreEqual(Encoding.UTF8.GetBytes(Marshalling.Decode(text) + "\r\n"), captures[0]);
                foreach (var piece in new[] { "~CREATE;SAMPLE;", "ALPHA\r\n10;20;1;2;*Grüße*", "TWOBYTE", "BOX", "HORZ", "VERT", "DIAG", "RFWTAG", "VERIFY", "~EXECUTE;SAMPLE;3" })
                    StringAssert.Contains(piece, Marshalling.Decode(text));
            }
        }

        [Test]
        public void Text_is_the_workspace_text_and_a_rejected_call_is_not_kept()
        {
            var form = new Form("R").AddText(1, 2, 3, 4, "X");
            byte[] before = form.Text();
            Bytes.AreEqual("~CREATE;R;X\r\nALPHA\r\n1;2;3;4;*X*\r\nSTOP\r\nEND\r\n~EXECUTE;R\r\n~NORMAL\r\n", before);
            var error = Assert.Throws<QovlibFormException>(() => form.AddBarcode((BarcodeKind)15, 1, 1, "X"));
            StringAssert.Contains("QOVA_PrintBarcode", error.Call);
            Assert.Throws<QovlibFormException>(() => new Form("S", new FormSettings { Rotate = 45 }));
            Assert.Throws<QovlibFormException>(() => new Form("T").AddRfidWrite());
            Assert.Throws<ArgumentException>(() => form.AddText(1, 1, 1, 1, "\u4e2d"), "not in Windows-1252");
            Assert.Throws<ArgumentException>(() => form.AddText(1, 1, 1, 1, "A\0B"));
            // Another form composed in between does not disturb this one.
            new Form("OTHER").AddBox(1, 1, 1, 2, 2).Text();
            CollectionAssert.AreEqual(before, form.Text());
            var printer = Printer.Tcp("127.0.0.1", new Peer().Port);
            printer.Close();
            Assert.Throws<QovlibStateException>(() => form.Print(printer));
        }

        [Test]
        public void A_bitmap_becomes_the_logo_the_library_makes_of_its_packed_dots()
        {
            // 10 x 2: the library reads (10 + 4) / 8 = 1 byte a row, so it is widened to 12.
            using (var bitmap = new Bitmap(10, 2))
            {
                for (int x = 0; x < 10; x++)
                {
                    bitmap.SetPixel(x, 0, Color.White);
                    bitmap.SetPixel(x, 1, Color.White);
                }
                bitmap.SetPixel(0, 0, Color.Black);
                bitmap.SetPixel(9, 0, Color.Black);            // a last-column dot that a 1-byte row would lose
                bitmap.SetPixel(3, 1, Color.FromArgb(0, 0, 0, 0)); // transparent: white
                bitmap.SetPixel(4, 1, Color.FromArgb(100, 100, 100));
                int height, width;
                byte[] packed = Logo.Pack(bitmap, 128, out height, out width);
                Assert.AreEqual(12, width);
                Assert.AreEqual(2, height);
                CollectionAssert.AreEqual(new byte[] { 0x7F, 0xBF, 0xF7, 0xFF }, packed);
                var logo = Logo.FromBitmap(bitmap, "BMP");
                CollectionAssert.AreEqual(Native.printer_PNGLogo_NORMAL(packed, "BMP", 2, 12), logo.Definition);
                StringAssert.StartsWith("~LOGO;BMP;2;12;", Marshalling.Decode(logo.Definition));
            }
        }

        static bool At(byte[] data, int offset, byte[] piece)
        {
            if (offset + piece.Length > data.Length) return false;
            for (int i = 0; i < piece.Length; i++)
                if (data[offset + i] != piece[i]) return false;
            return true;
        }

        [Test]
        public void Eight_threads_sharing_one_printer_deliver_every_label_whole()
        {
            int seconds = int.Parse(Environment.GetEnvironmentVariable("QOVLIB_THREAD_SECONDS") ?? "60");
            // A minute is about 400 MB of labels, past qovemu's default capture limit of 256 MiB.
            using (var emu = new Emulator(options: "--max-capture 4294967296"))
            {
                const int threads = 8;
                var forms = new Form[threads];
                var expected = new byte[threads][];
                for (int t = 0; t < threads; t++)
                {
                    // Long enough that an unserialised send or composition would interleave.
                    forms[t] = new Form("T" + t).AddText(10, 10, 1, 1, "thread " + t + " " + new string((char)('a' + t), 600))
                        .AddBarcode(BarcodeKind.Code39, 20, 10, "T" + t).AddBox(1, 1, 1, 50, 50);
                    expected[t] = Encoding.UTF8.GetBytes(Marshalling.Decode(forms[t].Text()) + "\r\n");
                }
                var payload = expected.Select(e => e.Take(e.Length - 2).ToArray()).ToArray(); // Send adds the CR LF
                var counts = new int[threads];
                var errors = new List<Exception>();
                var stop = DateTime.UtcNow.AddSeconds(seconds);
                using (var printer = Printer.Tcp("127.0.0.1", emu.Port, closeDelay: 200))
                {
                    var workers = Enumerable.Range(0, threads).Select(t => new Thread(() =>
                    {
                        try
                        {
                            while (DateTime.UtcNow < stop)
                            {
                                // Every other label as the same bytes through the async path, which shares the lock.
                                if (counts[t] % 2 == 0) forms[t].Print(printer);
                                else if (!printer.SendAsync(payload[t]).Wait(30000)) throw new TimeoutException("SendAsync");
                                counts[t]++;
                            }
                        }
                        catch (Exception error)
                        {
                            lock (errors) errors.Add(error);
                        }
                    })).ToList();
                    workers.ForEach(w => w.Start());
                    workers.ForEach(w => w.Join());
                    Assert.IsEmpty(errors, string.Join("\n", errors));
                    var status = printer.GetStatus();
                    Assert.AreEqual(counts.Sum(), status.LabelsPrinted);
                }
                byte[] capture = emu.Captures().Single();
                emu.DeleteCaptures();
                var arrived = new int[threads];
                byte[] query = Bytes.Of("~NORMAL\r\n~STATUS");
                int at = 0;
                while (at < capture.Length)
                {
                    if (At(capture, at, query) && at + query.Length == capture.Length) break; // the closing status query
                    int which = Array.FindIndex(expected, e => At(capture, at, e));
                    Assert.GreaterOrEqual(which, 0, "no whole label at byte " + at + ": " +
                        Bytes.Show(capture.Skip(at).Take(120).ToArray()));
                    arrived[which]++;
                    at += expected[which].Length;
                }
                CollectionAssert.AreEqual(counts, arrived);
                Assert.Greater(counts.Min(), 0);
                Console.WriteLine("labels per thread in " + seconds + " s: " + string.Join(" ", counts));
            }
        }
    }
}
