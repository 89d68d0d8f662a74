using System;
using System.Collections.Generic;
using System.Collections.ObjectModel;
using System.Globalization;

namespace Qovlib
{
    /// <summary>The faults a printer reports, one flag each.</summary>
    [Flags]
    public enum PrinterFaults
    {
        /// <summary>No fault.</summary>
        None = 0,
        /// <summary>FAULT;PAPER OUT</summary>
        PaperOut = 1,
        /// <summary>FAULT;RIBBON OUT</summary>
        RibbonOut = 2,
        /// <summary>FAULT;HEAD OPEN</summary>
        HeadOpen = 4,
        /// <summary>FAULT;PAUSED</summary>
        Paused = 8,
        /// <summary>FAULT;OFFLINE</summary>
        Offline = 16,
    }

    /// <summary>
    /// A status report: <c>STATUS;READY</c> or <c>STATUS;FAULT</c> followed by
    /// one <c>FAULT;name</c> line per active fault, then <c>NAME;value</c>
    /// lines (counters, <c>SNOOP;"..."</c>, <c>MENU;"item";"value"</c>), ending
    /// with <c>END</c>, every line ending in CR LF.
    /// </summary>
    public sealed class PrinterStatus
    {
        static readonly KeyValuePair<string, PrinterFaults>[] faultNames =
        {
            new KeyValuePair<string, PrinterFaults>("PAPER OUT", PrinterFaults.PaperOut),
            new KeyValuePair<string, PrinterFaults>("RIBBON OUT", PrinterFaults.RibbonOut),
            new KeyValuePair<string, PrinterFaults>("HEAD OPEN", PrinterFaults.HeadOpen),
            new KeyValuePair<string, PrinterFaults>("PAUSED", PrinterFaults.Paused),
            new KeyValuePair<string, PrinterFaults>("OFFLINE", PrinterFaults.Offline),
        };

        /// <summary>The report's text as received, up to and including its END line.</summary>
        public string Raw { get; private set; }
        /// <summary>The value of the STATUS line: "READY" or "FAULT".</summary>
        public string State { get; private set; }
        /// <summary>The active faults.</summary>
        public PrinterFaults Faults { get; private set; }
        /// <summary>FAULT lines of names this package does not know, in their order.</summary>
        public IList<string> OtherFaults { get; private set; }
        /// <summary>True when the printer reports READY and no fault.</summary>
        public bool IsReady { get { return State == "READY" && Faults == PrinterFaults.None && OtherFaults.Count == 0; } }
        /// <summary>LABELS PRINTED</summary>
        public int LabelsPrinted { get; private set; }
        /// <summary>FORMS STORED</summary>
        public int FormsStored { get; private set; }
        /// <summary>LOGOS STORED</summary>
        public int LogosStored { get; private set; }
        /// <summary>ERRORS</summary>
        public int Errors { get; private set; }
        /// <summary>RESTARTS</summary>
        public int Restarts { get; private set; }
        /// <summary>CODEPAGE</summary>
        public int CodePage { get; private set; }
        /// <summary>The SNOOP setting, unquoted.</summary>
        public string Snoop { get; private set; }
        /// <summary>The MENU items and their values, unquoted, in report order.</summary>
        public IDictionary<string, string> Menu { get; private set; }
        /// <summary>Lines of names this package does not know (NAME to value, as written).</summary>
        public IDictionary<string, string> Other { get; private set; }

        PrinterStatus() { }

        /// <summary>Parses a report. Throws <see cref="FormatException"/> saying which line is wrong.</summary>
        public static PrinterStatus Parse(string report)
        {
            if (report == null) throw new ArgumentNullException("report");
            if (!report.EndsWith("END\r\n", StringComparison.Ordinal) ||
                !(report.Length == 5 || report.EndsWith("\r\nEND\r\n", StringComparison.Ordinal)))
                throw new FormatException("the status report does not end with an END line");
            string[] lines = report.Substring(0, report.Length - 2).Split(new[] { "\r\n" }, StringSplitOptions.None);
            var status = new PrinterStatus { Raw = report };
            var other = new List<string>();
            var menu = new Dictionary<string, string>();
            var rest = new Dictionary<string, string>();
            var seen = new HashSet<string>();
            int last = lines.Length - 1; // the END line
            for (int i = 0; i < last; i++)
            {
                string line = lines[i];
                int semicolon = line.IndexOf(';');
                if (semicolon <= 0) throw Wrong(i, line, "not NAME;value");
                string name = line.Substring(0, semicolon), value = line.Substring(semicolon + 1);
                if (i == 0)
                {
                    if (name != "STATUS" || (value != "READY" && value != "FAULT")) throw Wrong(i, line, "the first line is STATUS;READY or STATUS;FAULT");
                    status.State = value;
                    continue;
                }
                if (name == "FAULT")
                {
                    if (status.State != "FAULT") throw Wrong(i, line, "a fault in a READY report");
                    PrinterFaults flag = PrinterFaults.None;
                    foreach (var known in faultNames)
                        if (known.Key == value) flag = known.Value;
                    if (flag == PrinterFaults.None) other.Add(value);
                    else status.Faults |= flag;
                    continue;
                }
                if (name == "MENU")
                {
                    string[] parts = value.Split(new[] { "\";\"" }, StringSplitOptions.None);
                    if (parts.Length != 2) throw Wrong(i, line, "not MENU;\"item\";\"value\"");
                    menu[Unquote(parts[0] + "\"", i, line)] = Unquote("\"" + parts[1], i, line);
                    continue;
                }
                if (!seen.Add(name)) throw Wrong(i, line, "a second " + name + " line");
                switch (name)
                {
                    case "LABELS PRINTED": status.LabelsPrinted = Number(value, i, line); break;
                    case "FORMS STORED": status.FormsStored = Number(value, i, line); break;
                    case "LOGOS STORED": status.LogosStored = Number(value, i, line); break;
                    case "ERRORS": status.Errors = Number(value, i, line); break;
                    case "RESTARTS": status.Restarts = Number(value, i, line); break;
                    case "CODEPAGE": status.CodePage = Number(value, i, line); break;
                    case "SNOOP": status.Snoop = Unquote(value, i, line); break;
                    default: rest[name] = value; break;
                }
            }
            if (status.State == null) throw new FormatException("the status report has no STATUS line");
            status.OtherFaults = new ReadOnlyCollection<string>(other);
            status.Menu = new ReadOnlyDictionary<string, string>(menu);
            status.Other = new ReadOnlyDictionary<string, string>(rest);
            return status;
        }

        static int Number(string value, int index, string line)
        {
            int number;
            if (!int.TryParse(value, NumberStyles.None, CultureInfo.InvariantCulture, out number))
                throw Wrong(index, line, "not a count");
            return number;
        }

        static string Unquote(string value, int index, string line)
        {
            if (value.Length < 2 || value[0] != '"' || value[value.Length - 1] != '"') throw Wrong(index, line, "a value not in quotes");
            return value.Substring(1, value.Length - 2);
        }

        static FormatException Wrong(int index, string line, string why)
        {
            return new FormatException(string.Format("status report line {0} \"{1}\": {2}", index + 1, line, why));
        }

        /// <summary>The report's text.</summary>
        public override string ToString()
        {
            return Raw;
        }
    }
}
