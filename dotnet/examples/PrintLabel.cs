// Prints one label and reads the printer's status back.
// Usage: mono PrintLabel.exe HOST [PORT]
using System;
using Qovlib;

static class PrintLabel
{
    static int Main(string[] args)
    {
        if (args.Length < 1)
        {
            Console.Error.WriteLine("usage: PrintLabel HOST [PORT]");
            return 2;
        }
        int port = args.Length > 1 ? int.Parse(args[1]) : 9100;
        try
        {
            using (var printer = Printer.Tcp(args[0], port))
            {
                new Form("HELLO", new FormSettings { Width = 4000, Length = 2000 })
                    .AddText(10, 10, 2, 2, "Hello from .NET")
                    .AddBarcode(BarcodeKind.Code128B, 20, 10, "QOV-0001", new BarcodeOptions { HumanReadable = true })
                    .Print(printer);
                PrinterStatus status = printer.GetStatus();
                Console.WriteLine("qovlib " + System.Text.Encoding.ASCII.GetString(Native.dllversion()));
                Console.WriteLine(status.IsReady ? "READY" : "FAULT " + status.Faults);
                Console.WriteLine("LABELS PRINTED;" + status.LabelsPrinted);
            }
            return 0;
        }
        catch (QovlibException error)
        {
            Console.Error.WriteLine(error.Message);
            return 1;
        }
    }
}
