using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Text;
using NUnit.Framework;

namespace Qovlib.Tests
{
    /// <summary>
    /// Every one of the 114 exports called through the one-to-one layer, each
    /// family on the transport it needs: qovemu over TCP and its pty as COM1,
    /// a file as LPT1, a file descriptor for the USB chunk readers, and no
    /// USB printer or spooler queue (CUPS_SERVER points at a closed port).
    /// NUnit runs a fixture's tests by name, so the coverage check (Zz_) comes last.
    /// </summary>
    [TestFixture]
    public class EveryExportTests
    {
        static readonly HashSet<string> called = new HashSet<string>();

        static T Rec<T>(string key, T result)
        {
            called.Add(key);
            return result;
        }

        static void Rec(string key)
        {
            called.Add(key);
        }

        static string Text(byte[] data)
        {
            return Marshalling.Decode(data);
        }

        /// <summary>Each piece occurs in <paramref name="capture"/>, after the previous one.</summary>
        static void InOrder(byte[] capture, IEnumerable<string> pieces)
        {
            string all = Encoding.GetEncoding(28591).GetString(capture);
            int at = 0;
            foreach (var piece in pieces)
            {
                int found = all.IndexOf(Encoding.GetEncoding(28591).GetString(Bytes.Of(piece)), at, StringComparison.Ordinal);
                Assert.GreaterOrEqual(found, 0, "\"" + Bytes.Show(Bytes.Of(piece)) + "\" not found after offset " + at + " of \"" + Bytes.Show(capture) + "\"");
                at = found + piece.Length;
            }
        }

        [Test]
        public void Info_and_wide_text()
        {
            Bytes.AreEqual("2.03", Rec("dllversion", Native.dllversion()));
            Bytes.AreEqual("Halvendorm DLL version 1.00b1", Rec("QOVA_GetDllVersion", Native.QOVA_GetDllVersion()));
            Assert.AreEqual(1, Rec("about", Native.about()));
            string dir = Build.Scratch("savetotext"), before = Environment.CurrentDirectory;
            Environment.CurrentDirectory = dir;
            try
            {
                // wchar_t is UTF-32 here; the file gets UTF-16LE, so a wrong width shows as wrong bytes.
                Assert.AreEqual(0, Rec("savetotext", Native.savetotext("Grüße \u2713 \U0001F600")));
            }
            finally
            {
                Environment.CurrentDirectory = before;
            }
            CollectionAssert.AreEqual(Encoding.Unicode.GetBytes("Grüße \u2713 \U0001F600"), File.ReadAllBytes(Path.Combine(dir, "testfile.txt")));
        }

        [Test]
        public void Form_workspace_calls_compose_the_form_text()
        {
            Rec("QOVA_DLLexit");
            Native.QOVA_DLLexit();
            Rec("QOVA_DLLinit");
            Native.QOVA_DLLinit();
            Assert.AreEqual(0, Rec("QOVA_JobSetup", Native.QOVA_JobSetup(1, 4000)));
            Assert.AreEqual(1, Native.QOVA_JobSetup(8, 1), "job setting 8 does not exist");
            Assert.AreEqual(0, Rec("QOVA_FormSetup", Native.QOVA_FormSetup(2, 3)));
            Assert.AreEqual(0, Rec("QOVA_Scale", Native.QOVA_Scale(203, 203)));
            Assert.AreEqual(0, Rec("QOVA_FontSetup", Native.QOVA_FontSetup(1, "ON")));
            Assert.AreEqual(0, Rec("QOVA_SetBarcode", Native.QOVA_SetBarcode(7, 3, "4")));
            Assert.AreEqual(1, Native.QOVA_SetBarcode(15, 3, "4"), "barcode kinds are 0 to 14");
            Assert.AreEqual(0, Rec("QOVA_SetupRFID", Native.QOVA_SetupRFID(8, 1, "H", 1, "0011")));
            int form = Rec("QOVA_CreateForm", Native.QOVA_CreateForm("ALL"));
            Assert.AreEqual(0, Rec("QOVA_DrawBox", Native.QOVA_DrawBox(form, 2, 1, 1, 10, 20)));
            Assert.AreEqual(0, Rec("QOVA_DrawLine", Native.QOVA_DrawLine(form, 1, 5, 1, 5, 30)));
            Assert.AreEqual(0, Rec("QOVA_PrintTextEng", Native.QOVA_PrintTextEng(form, 10, 20, 1, 1, "Grüße")));
            Assert.AreEqual(0, Rec("QOVA_PrintTextCH", Native.QOVA_PrintTextCH(form, 12, 20, 1, 1, "AB")));
            Assert.AreEqual(0, Rec("QOVA_PrintBarcode", Native.QOVA_PrintBarcode(form, 7, 20, 5, "QR")));
            Assert.AreEqual(1, Native.QOVA_PrintBarcode(form, 15, 20, 5, "X"));
            Assert.AreEqual(0, Rec("QOVA_PrintImage", Native.QOVA_PrintImage(form, 30, 2, "LOGO1")));
            Bytes.AreEqual("LOGO\n50;60;LOGO2\nSTOP\n", Rec("printer_Logo", Native.printer_Logo(form, "LOGO2", 50, 60)));
            Assert.AreEqual(0, Rec("QOVA_WriteRFID", Native.QOVA_WriteRFID(form, "", "")));
            Assert.AreEqual(0, Rec("QOVA_VerifyRFID", Native.QOVA_VerifyRFID(form, "", "", 8, "H")));
            string text = Text(Rec("QOVA_GetFormData", Native.QOVA_GetFormData(form)));
            // A caller-owned block is copied and released: a second call gives the same text.
            Assert.AreEqual(text, Text(Native.QOVA_GetFormData(form)));
            StringAssert.Contains("FONT;BOLD ON\r\nSCALE;DOT;203;203\r\n", text);
            StringAssert.Contains("~CREATE;ALL;", text);
            foreach (var piece in new[] { "BOX\r\n", "HORZ\r\n", "ALPHA\r\n10;20;1;1;*Grüße*\r\nSTOP\r\n", "TWOBYTE\r\n", "BARCODE\r\n",
                "LOGO\r\n30;2;LOGO1\r\n", "LOGO\n50;60;LOGO2\nSTOP\n", "RFWTAG", "RFRTAG", "VERIFY", "END\r\n~EXECUTE;ALL;3\r\n~NORMAL\r\n" })
                StringAssert.Contains(piece, text);
            StringAssert.EndsWith("~NORMAL\r\n", text);
        }

        [Test]
        public void Network_sends_formatters_and_control_commands_arrive_as_returned()
        {
            using (var emu = new Emulator())
            {
                var sent = new List<string>();
                Action<string, byte[]> line = (key, text) => { Rec(key); sent.Add(Text(text) + "\r\n"); };

                Assert.AreEqual(0, Rec("openethernet", Native.openethernet("127.0.0.1", emu.Port)));
                Assert.AreEqual(1, Rec("sendcommand", Native.sendcommand("A1")));
                Assert.AreEqual(1, Rec("sendcommandnocrlf", Native.sendcommandnocrlf("A2")));
                Assert.AreEqual(1, Rec("sendcommand_withoutcrlf", Native.sendcommand_withoutcrlf("A3")));
                Assert.AreEqual(1, Rec("sendcommandutf8", Native.sendcommandutf8("Ä4")));
                Assert.AreEqual(1, Rec("sendcommandUnicode", Native.sendcommandUnicode("\u2713\U0001F600")));
                Assert.AreEqual(1, Rec("sendBinaryData", Native.sendBinaryData(new byte[] { 0x42, 0, 0x43, 0x44 }, 3)));
                Assert.AreEqual(1, Rec("sendBinaryDataNoCRLF", Native.sendBinaryDataNoCRLF(new byte[] { 0, 0xFF }, 2)));
                Assert.AreEqual(1, Rec("ZULOutBuffer", Native.ZULOutBuffer("Z5")));
                byte[] head = Encoding.UTF8.GetBytes("A1\r\nA2A3Ä4\r\n\u2713\U0001F600\r\n").Concat(new byte[] { 0x42, 0, 0x43, 13, 10, 0, 0xFF })
                    .Concat(Bytes.Of("Z5")).ToArray();

                line("download_format", Native.download_format("F"));
                line("download_format_define", Native.download_format_define("^", "G"));
                line("printer_label", Native.printer_label("F", 2));
                line("printer_label_define", Native.printer_label_define("^", "G", 3));
                line("printer_dpi", Native.printer_dpi(203));
                line("printer_codepage", Native.printer_codepage("UTF8"));
                line("printer_external_font", Native.printer_external_font("EXT", "AB"));
                line("printer_internal_font", Native.printer_internal_font("Face", "ON", "R", "CD"));
                line("printer_font", Native.printer_font(1, 2, 3, 4, "é"));
                line("printer_font_binary", Native.printer_font_binary(1, 2, 3, 4, new byte[] { 0x41, 0xE9 }));
                line("printer_font_twobyte", Native.printer_font_twobyte(5, 6, 7, 8, "TB"));
                line("printer_font_twobyte_binary", Native.printer_font_twobyte_binary(5, 6, 7, 8, "TB2"));
                line("printer_barcode", Native.printer_barcode("C39", "X1", "H4", 9, 10, "123"));
                line("printer_barcode_humanredable", Native.printer_barcode_humanredable("C39", "X1", "H4", 9, 10, "456"));
                line("printer_box", Native.printer_box(1, 2, 3, 4, 5));
                line("printer_diagonal", Native.printer_diagonal(1, 2, 3, 4, 5));
                line("printer_horizontal", Native.printer_horizontal(1, 2, 3, 4, 5));
                line("printer_vertical", Native.printer_vertical(1, 2, 3, 4, 5));
                line("printer_RFID_write", Native.printer_RFID_write(8, "H", 7));
                line("printer_PNGLogo_NORMAL", Native.printer_PNGLogo_NORMAL(new byte[] { 0xFF, 0x0F, 0x7F, 0xFF }, "PL", 2, 16));
                var control = new List<string>();
                Action<string, byte[]> command = (key, text) => { Rec(key); control.Add(Text(text)); };
                command("QOVA_FORMFEED", Native.QOVA_FORMFEED());
                command("QOVA_PrinterReset", Native.QOVA_PrinterReset());
                command("QOVA_GAPDETECT", Native.QOVA_GAPDETECT());
                command("QOVA_BLINEDETECT", Native.QOVA_BLINEDETECT());
                command("QOVA_SETSENSOR", Native.QOVA_SETSENSOR(3));
                string pcx = Path.Combine(Build.Scratch("pcx"), "logo.pcx");
                File.WriteAllBytes(pcx, new byte[] { 10, 5, 1, 1, 0, 0x80 });
                Assert.AreEqual(1, Rec("QOVA_DownloadPCX", Native.QOVA_DownloadPCX(pcx, "PCX1")));
                Native.QOVA_DLLinit();
                int form = Native.QOVA_CreateForm("P");
                Native.QOVA_PrintTextEng(form, 1, 1, 1, 1, "ü");
                byte[] formText = Rec("QOVA_PrintForm", Native.QOVA_PrintForm(form));
                byte[] formText1 = Rec("QOVA_PrintForm_Mult", Native.QOVA_PrintForm_Mult(1, form)); // slot 1 sends on the current socket
                Assert.AreEqual(1, Rec("closeethernetport", Native.closeethernetport(0)));

                Bytes.AreEqual("~CREATE;F;X", Native.download_format("F"));
                Bytes.AreEqual("SCALE;DOT;203;203", Native.printer_dpi(203));
                Assert.AreEqual("!QOV_SETUP\r\nCONFIG-SETMENU;3;mediasensor\r\nQOV_END\r\n", control[4]);
                Assert.AreEqual("!QOV_SETUP\r\nCONFIG-SETMENU;2;mediasensor\r\nCONFIG-SETMENU;0;runcalibrate\r\nQOV_END\r\n", control[2]);
                Bytes.AreEqual("~LOGO;PL;2;16;\n1;9-12\n2;1\nEND", Native.printer_PNGLogo_NORMAL(new byte[] { 0xFF, 0x0F, 0x7F, 0xFF }, "PL", 2, 16));
                CollectionAssert.AreEqual(formText, formText1);

                byte[] capture = emu.Captures().Single();
                CollectionAssert.AreEqual(head, capture.Take(head.Length).ToArray(), Bytes.Show(capture));
                byte[] rest = capture.Skip(head.Length).ToArray();
                string formUtf8 = Encoding.UTF8.GetString(Encoding.UTF8.GetBytes(Text(formText) + "\r\n"));
                InOrder(rest, sent.Concat(control));
                // The printed forms arrive as UTF-8: ü is two bytes on the wire.
                string wire = Encoding.UTF8.GetString(rest);
                Assert.AreEqual(2, (wire.Length - wire.Replace(formUtf8, "").Length) / formUtf8.Length, "both printed forms, in UTF-8");
                StringAssert.Contains("~LOGO;PCX1;PCX", Encoding.GetEncoding(28591).GetString(rest));
            }
        }

        [Test]
        public void Slot_sends_on_a_socket_of_their_own()
        {
            using (var emu = new Emulator())
            {
                // The port travels as the value of a pointer argument.
                Assert.AreEqual(0, Rec("openethernetmult", Native.openethernetmult(2, "127.0.0.1", emu.Port)));
                Assert.AreEqual(1, Rec("sendcommand_mult", Native.sendcommand_mult(2, "S1")));
                Assert.AreEqual(1, Rec("sendcommand_withoutcrlf_mult", Native.sendcommand_withoutcrlf_mult(2, "S2")));
                Assert.AreEqual(1, Rec("sendcommandmult", Native.sendcommandmult(2, "S3")));
                Assert.AreEqual(1, Rec("sendcommandutf8_mult", Native.sendcommandutf8_mult(2, "Ö")));
                // A slot's spooler write is not checked; outside 1..5 it needs an LPT, USB or COM port.
                Assert.AreEqual(1, Rec("ZULOutBuffermult", Native.ZULOutBuffermult(2, "no network")));
                Assert.AreEqual(0, Native.ZULOutBuffermult(9, "no network"));
                Assert.AreEqual(1, Rec("QOVA_SetupStatus_Mult", Native.QOVA_SetupStatus_Mult(2, 3)));
                var pieces = new List<string> { "S1\r\nS2S3\r\n", "\u00c3\u2013\r\n" /* Ö as UTF-8, read as Windows-1252 */, "~NORMAL\r\n~CONFIG\r\nSNOOP;STATUS;ETH\r\nEND\r\n" };
                foreach (var text in new[]
                {
                    Rec("QOVA_FORMFEED_Mult", Native.QOVA_FORMFEED_Mult(2)), Rec("QOVA_PrinterReset_Mult", Native.QOVA_PrinterReset_Mult(2)),
                    Rec("QOVA_GAPDETECT_Mult", Native.QOVA_GAPDETECT_Mult(2)), Rec("QOVA_BLINEDETECT_Mult", Native.QOVA_BLINEDETECT_Mult(2)),
                    Rec("QOVA_SETSENSOR_Mult", Native.QOVA_SETSENSOR_Mult(2, 1)),
                })
                    pieces.Add(Text(text));
                // Sent on the slot, read from the current connection, which is closed here: "" at once.
                Bytes.AreEqual("", Rec("QOVA_RFIDAUTOCALIBRATION_Mult", Native.QOVA_RFIDAUTOCALIBRATION_Mult(2)));
                pieces.Add("RFID-RFID_CAL;");
                Assert.AreEqual(1, Rec("closeethernetportmult", Native.closeethernetportmult(2, 0)));
                Assert.AreEqual(0, Native.closeethernetportmult(6, 0), "slot 6 does not exist");
                InOrder(emu.Captures().Single(), pieces);
            }
        }

        [Test]
        public void Network_queries_read_what_the_printer_answers()
        {
            using (var emu = new Emulator())
            {
                Assert.AreEqual(0, Native.openethernet("127.0.0.1", emu.Port));
                Assert.AreEqual(1, Rec("QOVA_SetupStatus", Native.QOVA_SetupStatus(1)));
                string report = Text(Rec("QOVA_GetStatus", Native.QOVA_GetStatus()));
                Assert.AreEqual("SER", PrinterStatus.Parse(report).Snoop.Substring(PrinterStatus.Parse(report).Snoop.Length - 3));
                Assert.AreEqual(1, Native.sendcommand_withoutcrlf("~NORMAL\r\n~STATUS"));
                StringAssert.StartsWith("STATUS;READY\r\n", Text(Rec("QOVA_Read", Native.QOVA_Read("END\r\n"))));
                Assert.AreEqual(1, Native.sendcommand_withoutcrlf("~NORMAL\r\n~STATUS"));
                StringAssert.EndsWith("\r\nEND\r\n", Text(Rec("QOVA_Read_withTimeout", Native.QOVA_Read_withTimeout("END\r\n", 3000, 0, 0))));
                StringAssert.Contains("1252", Text(Rec("ethernetprintercodepage", Native.ethernetprintercodepage())));
                Assert.AreEqual(1, Rec("ethernetprinterrestart", Native.ethernetprinterrestart()));
                Bytes.AreEqual("!QOV_SETUP\r\nRFID-RFID_CAL;PASS\r\nQOV_END\r\n", Rec("QOVA_RFIDAUTOCALIBRATION", Native.QOVA_RFIDAUTOCALIBRATION()));
                Assert.AreEqual(1, PrinterStatus.Parse(Text(Native.QOVA_GetStatus())).Restarts);
                Assert.AreEqual(1, Rec("Ethernetsend", Native.Ethernetsend("~NORMAL\r\n~STATUS")));
                Assert.AreEqual(1, Native.closeethernetport(0));

                Assert.AreEqual(0, Rec("openethernet_async", Native.openethernet_async("127.0.0.1", emu.Port)));
                Assert.AreEqual(1, Native.sendcommand("ASYNC"));
                Assert.AreEqual(1, Rec("closeport", Native.closeport()));
                Assert.AreEqual(0, Native.closeport(), "nothing open any more");
                var captures = emu.Captures();
                Assert.AreEqual(2, captures.Count);
                Bytes.AreEqual("ASYNC\r\n", captures[1]);
            }
        }

        [Test]
        public void Com_port_on_the_emulators_pty()
        {
            using (var emu = new Emulator(serial: true))
            {
                Environment.SetEnvironmentVariable("QOVLIB_COM1", emu.SerialDevice);
                try
                {
                    Assert.AreEqual(1, Rec("SetRS232", Native.SetRS232("COM1", 9600, 0, 8, 1)));
                    Bytes.AreEqual("1", Rec("opencomport", Native.opencomport("COM1")));
                    Assert.AreEqual(1, Rec("comportdefault", Native.comportdefault()));
                    Assert.AreEqual(1, Rec("ComportSendData", Native.ComportSendData("COMDATA\r\n")));
                    Assert.AreEqual(1, Rec("Serial_ClearBuffer", Native.Serial_ClearBuffer()));
                    Rec("comportprintercodepage", Native.comportprintercodepage());
                    Assert.AreEqual(1, Rec("comportprinterrestart", Native.comportprinterrestart()));
                    Native.closeport();
                }
                finally
                {
                    Environment.SetEnvironmentVariable("QOVLIB_COM1", null);
                }
                InOrder(emu.Captures("serial").Single(), new[] { "COMDATA\r\n", "\x1b!R" });
            }
        }

        [Test]
        public void Lpt_port_on_a_file_and_no_spooler_queue()
        {
            string lpt = Path.Combine(Build.Scratch("lpt"), "lpt1.bin");
            File.WriteAllBytes(lpt, new byte[0]);
            Environment.SetEnvironmentVariable("QOVLIB_LPT1", lpt);
            try
            {
                Assert.AreEqual(0, Rec("openport", Native.openport("LPT1")));
                Assert.AreEqual(1, Native.sendcommand("LPT DATA"));
                Bytes.AreEqual("", Native.QOVA_Read("END"), "an LPT port cannot be read");
                Assert.AreEqual(1, Native.closeport());
            }
            finally
            {
                Environment.SetEnvironmentVariable("QOVLIB_LPT1", null);
            }
            Bytes.AreEqual("LPT DATA\r\n", File.ReadAllBytes(lpt));

            Assert.AreEqual(1, Native.openport("NO QUEUE"));
            Assert.AreEqual(0, Rec("openportmult", Native.openportmult(2, "NO QUEUE")));
            Assert.AreEqual(-1, Rec("driver_status", Native.driver_status("NO QUEUE")));
            Bytes.AreEqual("cannot find printer", Rec("driver_portname", Native.driver_portname("NO QUEUE")));
            Assert.AreNotEqual(1, Rec("compareport", Native.compareport("NO PORT")));
            Bytes.AreEqual("-1", Rec("returndriver", Native.returndriver("NO PORT")));
            Assert.AreEqual(1, Rec("closeportmult", Native.closeportmult(2)));
        }

        [Test]
        public void Usb_without_a_printer()
        {
            Assert.AreEqual(1, Rec("openport_async", Native.openport_async("USB")));
            Assert.AreEqual(1, Rec("openport_usbid", Native.openport_usbid(1, "vid_")));
            Assert.AreEqual(1, Rec("openport_usbid_async", Native.openport_usbid_async(1, "vid_")));
            Assert.AreEqual(0, Rec("openusbportmult", Native.openusbportmult(1)));
            Assert.AreEqual(-1, Rec("usbportwrite", Native.usbportwrite("X")));
            Assert.AreEqual(-1, Rec("usbprinterrestart", Native.usbprinterrestart()));
            Bytes.AreEqual("", Rec("usbprintercodepage", Native.usbprintercodepage()));
            Rec("USB_ClearBuffer");
            Native.USB_ClearBuffer();
        }

        [Test]
        public void Usb_chunk_readers_take_a_file_descriptor()
        {
            string file = Path.Combine(Build.Scratch("usb"), "reply.bin");
            File.WriteAllBytes(file, Bytes.Of("CODE 1252 END"));
            Func<Func<IntPtr, bool>, bool> onFile = read =>
            {
                using (var stream = new FileStream(file, FileMode.Open, FileAccess.Read))
                    return read(stream.SafeFileHandle.DangerousGetHandle());
            };
            Assert.IsTrue(onFile(h => Rec("UsbRead_judge", Native.UsbRead_judge(h, "END"))));
            Assert.IsTrue(onFile(h => Rec("UsbRead_judge_wait", Native.UsbRead_judge(h, "END", 500))));
            Assert.IsTrue(onFile(h => Rec("UsbReadData", Native.UsbReadData(h, false))));
            Assert.IsTrue(onFile(h => Rec("UsbReadData_mult", Native.UsbReadData_mult(h, false))));
            Assert.IsTrue(onFile(h => Rec("UsbReadStatus", Native.UsbReadStatus(h, false))));
            Assert.IsTrue(onFile(h => Rec("UsbReadStatusDataToBuffer", Native.UsbReadStatusDataToBuffer(h, false))));
            Assert.IsTrue(onFile(h => Rec("UsbReadDataToBuffer", Native.UsbReadDataToBuffer(h, false))));
            File.WriteAllBytes(file, new byte[0]);
            Assert.IsFalse(onFile(h => Native.UsbReadData(h, false)), "nothing arrived");
        }

        [Test]
        public void Zz_every_one_of_the_114_exports_was_called()
        {
            var missing = Native.Exports.Select(e => e.Key).Where(k => !called.Contains(k)).ToArray();
            Assert.IsEmpty(missing, "not called: " + string.Join(" ", missing));
            Assert.AreEqual(114, called.Count);
        }
    }
}
