using System;
using System.Collections.Generic;
using System.Globalization;

namespace Qovlib
{
    /// <summary>Barcode kinds: the kind argument of QOVA_PrintBarcode.</summary>
    public enum BarcodeKind
    {
        /// <summary>Code 39</summary>
        Code39 = 0,
        /// <summary>Code 128, set A</summary>
        Code128A = 1,
        /// <summary>Code 128, set B</summary>
        Code128B = 2,
        /// <summary>Code 128, set C</summary>
        Code128C = 3,
        /// <summary>EAN-13</summary>
        Ean13 = 4,
        /// <summary>UPC-A</summary>
        UpcA = 5,
        /// <summary>MaxiCode</summary>
        MaxiCode = 6,
        /// <summary>QR Code</summary>
        QrCode = 7,
        /// <summary>PDF417</summary>
        Pdf417 = 8,
        /// <summary>Aztec</summary>
        Aztec = 9,
        /// <summary>Data Matrix</summary>
        DataMatrix = 10,
        /// <summary>EAN-8</summary>
        Ean8 = 11,
        /// <summary>Interleaved 2 of 5</summary>
        I2of5 = 12,
        /// <summary>Codabar</summary>
        Codabar = 13,
        /// <summary>UCC-128</summary>
        Ucc128 = 14,
    }

    /// <summary>
    /// A form's header settings, each the library's setting of the same
    /// meaning, written into the header unchanged (no unit conversion).
    /// Unset ones are left out of the header.
    /// </summary>
    public sealed class FormSettings
    {
        /// <summary>Job setting 1: the paper width, thousandths of an inch.</summary>
        public int? Width { get; set; }
        /// <summary>Job setting 2: the paper length, thousandths of an inch.</summary>
        public int? Length { get; set; }
        /// <summary>Job setting 3: speed, inches per second.</summary>
        public int? Speed { get; set; }
        /// <summary>Job setting 4: print intensity.</summary>
        public int? Intensity { get; set; }
        /// <summary>Job setting 5: labels.</summary>
        public int? Labels { get; set; }
        /// <summary>Job setting 6: media.</summary>
        public int? Media { get; set; }
        /// <summary>Job setting 7: rotation 0, 90, 180 or 270.</summary>
        public int? Rotate { get; set; }
        /// <summary>Form setting 1: the value on the ~CREATE; line.</summary>
        public int? CreateValue { get; set; }
        /// <summary>Form setting 2: the copies on the ~EXECUTE; line.</summary>
        public int? Copies { get; set; }
        /// <summary>Horizontal value of the SCALE;DOT line (with <see cref="ScaleVertical"/>).</summary>
        public int? ScaleHorizontal { get; set; }
        /// <summary>Vertical value of the SCALE;DOT line (with <see cref="ScaleHorizontal"/>).</summary>
        public int? ScaleVertical { get; set; }
        /// <summary>The header FONT line's font name.</summary>
        public string FontName { get; set; }
        /// <summary>Bold on or off.</summary>
        public bool? Bold { get; set; }
        /// <summary>Slant "R" or "L".</summary>
        public string Slant { get; set; }
        /// <summary>Code page: ASCII, GB, BIG5, KSC, SJIS or UTF8.</summary>
        public string CodePage { get; set; }
    }

    /// <summary>A barcode's options (QOVA_SetBarcode columns), written as the printer reads them; unset ones are left out.</summary>
    public sealed class BarcodeOptions
    {
        /// <summary>Column 1: the height.</summary>
        public string H { get; set; }
        /// <summary>Column 2: rotation 90, 180 or 270 (0 or unset: none).</summary>
        public int Rotation { get; set; }
        /// <summary>Column 3: the narrow module.</summary>
        public string X { get; set; }
        /// <summary>Column 4: the human-readable line.</summary>
        public bool HumanReadable { get; set; }
        /// <summary>Column 5: a second X option.</summary>
        public string X2 { get; set; }
        /// <summary>Column 6.</summary>
        public string Y { get; set; }
        /// <summary>Column 7.</summary>
        public string T { get; set; }
        /// <summary>Column 8.</summary>
        public string E { get; set; }
        /// <summary>Column 9.</summary>
        public string M { get; set; }
    }

    /// <summary>
    /// A label form, composed by the library's form calls.
    /// </summary>
    /// <remarks>
    /// A Form records the library calls that compose it; <see cref="Text"/> and
    /// <see cref="Print"/> replay them through the library (QOVA_DLLinit, the
    /// setup calls, QOVA_CreateForm, the element calls in order, then
    /// QOVA_GetFormData), holding <see cref="Library.Lock"/>. So its text is
    /// exactly what the C API composes for the same calls, and Forms do not
    /// disturb each other. The library has one form workspace per process:
    /// composing a Form resets it, discarding forms made through
    /// <see cref="Native"/>. Each element call is tried on a scratch form when
    /// added, so a call the library rejects raises
    /// <see cref="QovlibFormException"/> there and is not kept.
    /// </remarks>
    public sealed class Form
    {
        delegate int Call(int form);

        sealed class Step
        {
            internal readonly string Description;
            internal readonly Call Run;
            internal Step(string description, Call run) { Description = description; Run = run; }
        }

        readonly List<Step> header = new List<Step>();
        readonly List<Step> body = new List<Step>();
        int rfidFields;

        /// <summary>The form's name.</summary>
        public string Name { get; private set; }

        /// <summary>A form called <paramref name="name"/> with the given header settings.</summary>
        public Form(string name, FormSettings settings = null)
        {
            Marshalling.Ansi(name, "name");
            Name = name;
            var s = settings ?? new FormSettings();
            int?[] job = { s.Width, s.Length, s.Speed, s.Intensity, s.Labels, s.Media, s.Rotate };
            for (int i = 0; i < job.Length; i++)
                if (job[i].HasValue) header.Add(JobSetup(i + 1, job[i].Value));
            if (s.CreateValue.HasValue) header.Add(FormSetup(1, s.CreateValue.Value));
            if (s.Copies.HasValue) header.Add(FormSetup(2, s.Copies.Value));
            if (s.ScaleHorizontal.HasValue != s.ScaleVertical.HasValue)
                throw new ArgumentException("set both scale values or neither", "settings");
            if (s.ScaleHorizontal.HasValue)
            {
                int h = s.ScaleHorizontal.Value, v = s.ScaleVertical.Value;
                header.Add(new Step(Describe("QOVA_Scale", h, v), f => Native.QOVA_Scale(h, v)));
            }
            if (s.FontName != null) header.Add(FontSetup(0, s.FontName));
            if (s.Bold.HasValue) header.Add(FontSetup(1, s.Bold.Value ? "ON" : "OFF"));
            if (s.Slant != null) header.Add(FontSetup(2, s.Slant));
            if (s.CodePage != null) header.Add(FontSetup(3, s.CodePage));
            lock (Library.Lock)
            {
                Native.QOVA_DLLinit();
                Replay(header, -1);
            }
        }

        static Step JobSetup(int type, int value)
        {
            return new Step(Describe("QOVA_JobSetup", type, value), f => Native.QOVA_JobSetup(type, value));
        }

        static Step FormSetup(int type, int value)
        {
            return new Step(Describe("QOVA_FormSetup", type, value), f => Native.QOVA_FormSetup(type, value));
        }

        static Step FontSetup(int type, string text)
        {
            Marshalling.Ansi(text, "text");
            return new Step(Describe("QOVA_FontSetup", type, text), f => Native.QOVA_FontSetup(type, text));
        }

        static string Describe(string call, params object[] args)
        {
            var parts = new List<string>();
            foreach (var a in args)
                parts.Add(a is string ? "\"" + a + "\"" : Convert.ToString(a, CultureInfo.InvariantCulture));
            return call + "(" + string.Join(", ", parts) + ")";
        }

        static void Replay(List<Step> steps, int form)
        {
            foreach (var step in steps)
                if (step.Run(form) != 0) throw new QovlibFormException(step.Description);
        }

        int Compose()
        {
            Native.QOVA_DLLinit();
            Replay(header, -1);
            int form = Native.QOVA_CreateForm(Name);
            Replay(body, form);
            return form;
        }

        Form Add(params Step[] steps)
        {
            var list = new List<Step>(steps);
            lock (Library.Lock)
            {
                Native.QOVA_DLLinit();
                Replay(list, Native.QOVA_CreateForm(""));
            }
            body.AddRange(list);
            return this;
        }

        // ---- elements

        /// <summary>A line of text (QOVA_PrintTextEng: an ALPHA element) in the form's font; the four numbers are written unchanged.</summary>
        public Form AddText(int row, int column, int verticalExpand, int horizontalExpand, string text)
        {
            Marshalling.Ansi(text, "text");
            return Add(new Step(Describe("QOVA_PrintTextEng", "form", row, column, verticalExpand, horizontalExpand, text),
                f => Native.QOVA_PrintTextEng(f, row, column, verticalExpand, horizontalExpand, text)));
        }

        /// <summary>Text in a two-byte character set (QOVA_PrintTextCH: a TWOBYTE element); set the form's code page to GB, BIG5, KSC, SJIS or UTF8.</summary>
        public Form AddTwoByteText(int row, int column, int verticalExpand, int horizontalExpand, string text)
        {
            Marshalling.Ansi(text, "text");
            return Add(new Step(Describe("QOVA_PrintTextCH", "form", row, column, verticalExpand, horizontalExpand, text),
                f => Native.QOVA_PrintTextCH(f, row, column, verticalExpand, horizontalExpand, text)));
        }

        /// <summary>
        /// A barcode with its top-left corner at (row, column) (QOVA_PrintBarcode).
        /// The library keeps barcode options per kind until reset; here each
        /// barcode carries only its own (its kind's row is reset first).
        /// </summary>
        public Form AddBarcode(BarcodeKind kind, int row, int column, string data, BarcodeOptions options = null)
        {
            Marshalling.Ansi(data, "data");
            int k = (int)kind;
            if (k < 0 || k > 14) throw new QovlibFormException(Describe("QOVA_PrintBarcode", "form", k), "barcode kinds are 0 to 14");
            var o = options ?? new BarcodeOptions();
            var steps = new List<Step> { SetBarcode(k, 0, "") };
            string[] cells = { o.H, o.Rotation == 0 ? null : o.Rotation.ToString(CultureInfo.InvariantCulture), o.X,
                o.HumanReadable ? "" : null, o.X2, o.Y, o.T, o.E, o.M };
            for (int i = 0; i < cells.Length; i++)
                if (cells[i] != null) steps.Add(SetBarcode(k, i + 1, cells[i]));
            steps.Add(new Step(Describe("QOVA_PrintBarcode", "form", k, row, column, data), f => Native.QOVA_PrintBarcode(f, k, row, column, data)));
            return Add(steps.ToArray());
        }

        static Step SetBarcode(int kind, int column, string text)
        {
            Marshalling.Ansi(text, "options");
            return new Step(Describe("QOVA_SetBarcode", kind, column, text), f => Native.QOVA_SetBarcode(kind, column, text));
        }

        /// <summary>A rectangle between two corners (QOVA_DrawBox: a BOX element).</summary>
        public Form AddBox(int thickness, int row1, int column1, int row2, int column2)
        {
            return Add(new Step(Describe("QOVA_DrawBox", "form", thickness, row1, column1, row2, column2),
                f => Native.QOVA_DrawBox(f, thickness, row1, column1, row2, column2)));
        }

        /// <summary>A line between two points (QOVA_DrawLine): HORZ when the rows are equal, else VERT when the columns are, else DIAG.</summary>
        public Form AddLine(int thickness, int row1, int column1, int row2, int column2)
        {
            return Add(new Step(Describe("QOVA_DrawLine", "form", thickness, row1, column1, row2, column2),
                f => Native.QOVA_DrawLine(f, thickness, row1, column1, row2, column2)));
        }

        /// <summary>A logo stored in the printer, by name (QOVA_PrintImage: a LOGO element); store it first with <see cref="Logo"/>.</summary>
        public Form AddLogo(int row, int column, string logoName)
        {
            Marshalling.Ansi(logoName, "logoName");
            return Add(new Step(Describe("QOVA_PrintImage", "form", row, column, logoName), f => Native.QOVA_PrintImage(f, row, column, logoName)));
        }

        /// <summary>Sets up one RFID data field (QOVA_SetupRFID) for the next <see cref="AddRfidWrite"/>; a write carries every field set up so far.</summary>
        public Form RfidField(int length, string data, string format = "", bool increment = false, int step = 0)
        {
            Marshalling.Ansi(data, "data");
            Marshalling.Ansi(format, "format");
            byte inc = increment ? (byte)1 : (byte)0;
            Add(new Step(Describe("QOVA_SetupRFID", length, inc, format, step, data), f => Native.QOVA_SetupRFID(length, inc, format, step, data)));
            rfidFields++;
            return this;
        }

        /// <summary>An RFID tag write of the fields set up with <see cref="RfidField"/> (QOVA_WriteRFID).</summary>
        public Form AddRfidWrite(string lockText = "", string tagHeader = "")
        {
            Marshalling.Ansi(lockText, "lockText");
            Marshalling.Ansi(tagHeader, "tagHeader");
            string call = Describe("QOVA_WriteRFID", "form", lockText, tagHeader);
            if (rfidFields == 0) throw new QovlibFormException(call, "no field: call RfidField first");
            var step = new Step(call, f => Native.QOVA_WriteRFID(f, lockText, tagHeader));
            // It depends on this form's fields: checked against the whole form.
            lock (Library.Lock)
            {
                Replay(new List<Step> { step }, Compose());
            }
            body.Add(step);
            return this;
        }

        /// <summary>An RFID tag read and verify (QOVA_VerifyRFID).</summary>
        public Form AddRfidVerify(int fieldLength, string format = "", string unlock = "", string tagHeader = "")
        {
            Marshalling.Ansi(format, "format");
            Marshalling.Ansi(unlock, "unlock");
            Marshalling.Ansi(tagHeader, "tagHeader");
            return Add(new Step(Describe("QOVA_VerifyRFID", "form", unlock, tagHeader, fieldLength, format),
                f => Native.QOVA_VerifyRFID(f, unlock, tagHeader, fieldLength, format)));
        }

        // ---- output

        /// <summary>The complete form as QOVA_GetFormData returns it (header, elements, END, ~EXECUTE and ~NORMAL lines, ANSI text). Nothing is sent.</summary>
        public byte[] Text()
        {
            lock (Library.Lock)
            {
                return Native.QOVA_GetFormData(Compose());
            }
        }

        /// <summary>
        /// Prints the form on <paramref name="printer"/>, the open current
        /// connection, and returns its text. The bytes sent are those of
        /// QOVA_PrintForm (the text as UTF-8, then CR LF); unlike
        /// QOVA_PrintForm, a send that found no transport raises
        /// <see cref="QovlibSendException"/>.
        /// </summary>
        public byte[] Print(Printer printer)
        {
            if (printer == null) throw new ArgumentNullException("printer");
            lock (Library.Lock)
            {
                printer.RequireOpen();
                byte[] text = Native.QOVA_GetFormData(Compose());
                if (Native.SendUtf8(text) != 1)
                    throw new QovlibSendException(string.Format("the form \"{0}\" was not sent to {1}", Name, printer.Target));
                return text;
            }
        }
    }
}
