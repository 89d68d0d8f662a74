using System;
using System.Diagnostics;
using System.Linq;
using System.Net;
using System.Net.Sockets;
using System.Threading;
using System.Threading.Tasks;
using NUnit.Framework;

namespace Qovlib.Tests
{
    [TestFixture]
    public class PrinterTests
    {
        [TearDown]
        public void CloseWhatATestLeftOpen()
        {
            var printer = Printer.Current;
            if (printer != null) printer.Close();
        }

        static int ClosedPort()
        {
            var probe = new TcpListener(IPAddress.Loopback, 0);
            probe.Start();
            int port = ((IPEndPoint)probe.LocalEndpoint).Port;
            probe.Stop();
            return port;
        }

        [Test]
        public void A_refused_open_raises_with_the_raw_result_and_a_second_open_is_refused()
        {
            int port = ClosedPort();
            var error = Assert.Throws<QovlibOpenException>(() => Printer.Tcp("127.0.0.1", port));
            Assert.AreEqual(1, error.Result);
            Assert.AreEqual("tcp", error.Transport);
            Assert.AreEqual("127.0.0.1:" + port, error.Target);
            Assert.IsNull(Printer.Current);
            Assert.Throws<QovlibOpenException>(() => Printer.Tcp("no-such-host.invalid", 9100));
            Assert.Throws<QovlibOpenException>(() => Printer.Tcp("127.0.0.1", 70000));

            using (var peer = new Peer())
            using (var printer = Printer.Tcp("localhost", peer.Port))
            {
                Assert.AreSame(printer, Printer.Current);
                Assert.Throws<QovlibStateException>(() => Printer.Tcp("127.0.0.1", peer.Port));
                printer.Close();
                Assert.IsTrue(printer.IsClosed);
                Assert.Throws<QovlibStateException>(() => printer.Send("LATE"));
            }
        }

        [TestCase(false, 1, 0.0, 2.2)]
        [TestCase(true, 2, 1.0, 3.2)]
        public void A_silent_printer_times_out_in_time(bool nonBlocking, int seconds, double least, double most)
        {
            using (var peer = new Peer())
            using (var printer = Printer.Tcp("127.0.0.1", peer.Port, nonBlocking, closeDelay: 0))
            {
                var clock = Stopwatch.StartNew();
                var error = Assert.Throws<QovlibTimeoutException>(() => printer.Read("END\r\n", TimeSpan.FromSeconds(seconds)));
                double took = clock.Elapsed.TotalSeconds;
                Assert.That(took, Is.InRange(least, most), "read of a " + seconds + " s limit took " + took + " s");
                StringAssert.Contains("END\\r\\n", error.Message);
                Console.WriteLine("silent printer, " + (nonBlocking ? "non-blocking" : "blocking") + " socket, " + seconds + " s limit: time-out after " + took.ToString("F2") + " s");
            }
        }

        [Test]
        public void Status_of_a_live_emulator_counts_what_it_printed()
        {
            using (var emu = new Emulator())
            {
                using (var printer = Printer.Tcp("127.0.0.1", emu.Port, closeDelay: 0))
                {
                    var first = printer.GetStatus();
                    Assert.IsTrue(first.IsReady);
                    Assert.AreEqual(PrinterFaults.None, first.Faults);
                    Assert.AreEqual(0, first.LabelsPrinted);
                    new Form("LIVE").AddText(10, 10, 1, 1, "hello").Print(printer);
                    printer.Send("~EXECUTE;LIVE;2");
                    var status = printer.GetStatus();
                    Assert.AreEqual(3, status.LabelsPrinted, status.Raw); // one from the print, two from the execute
                    Assert.AreEqual(1, status.FormsStored);
                    Assert.AreEqual(1252, status.CodePage);
                    StringAssert.StartsWith("STATUS;READY\r\nLABELS PRINTED;3\r\n", status.Raw);
                    StringAssert.EndsWith("\r\nEND\r\n", status.Raw);
                    printer.Send("~NORMAL\r\n~STATUS", lineEnd: false);
                    StringAssert.StartsWith("STATUS;READY", Bytes.Show(printer.Read("END\r\n", TimeSpan.FromSeconds(3))));
                }
            }
        }

        const string FaultReport =
            "STATUS;FAULT\r\nFAULT;PAPER OUT\r\nFAULT;HEAD OPEN\r\nFAULT;OFFLINE\r\nLABELS PRINTED;7\r\nFORMS STORED;2\r\n" +
            "LOGOS STORED;1\r\nERRORS;3\r\nRESTARTS;0\r\nCODEPAGE;1252\r\nSNOOP;\"STATUS;ETH\"\r\nMENU;\"mediasensor\";\"2\"\r\n" +
            "MENU;\"a;b\";\"\"\r\nEND\r\n";

        [Test]
        public void A_fault_report_over_the_wire_becomes_typed_status()
        {
            using (var peer = new Peer(FaultReport))
            using (var printer = Printer.Tcp("127.0.0.1", peer.Port, closeDelay: 0))
            {
                var status = printer.GetStatus();
                Assert.AreEqual("FAULT", status.State);
                Assert.IsFalse(status.IsReady);
                Assert.AreEqual(PrinterFaults.PaperOut | PrinterFaults.HeadOpen | PrinterFaults.Offline, status.Faults);
                Assert.AreEqual(7, status.LabelsPrinted);
                Assert.AreEqual(2, status.FormsStored);
                Assert.AreEqual(1, status.LogosStored);
                Assert.AreEqual(3, status.Errors);
                Assert.AreEqual("STATUS;ETH", status.Snoop);
                Assert.AreEqual("2", status.Menu["mediasensor"]);
                Assert.AreEqual("", status.Menu["a;b"]);
                Assert.AreEqual(FaultReport, status.Raw);
                StringAssert.Contains("~NORMAL\r\n~STATUS", Bytes.Show(peer.Received).Replace("\\r\\n", "\r\n"));
            }
            using (var peer = new Peer("STATUS;LOST\r\nEND\r\n"))
            using (var printer = Printer.Tcp("127.0.0.1", peer.Port, closeDelay: 0))
            {
                var error = Assert.Throws<QovlibReadException>(() => printer.GetStatus());
                Bytes.AreEqual("STATUS;LOST\r\nEND\r\n", error.Raw);
            }
        }

        [Test]
        public void Every_fault_in_its_order_and_what_no_report_may_be()
        {
            string all = "STATUS;FAULT\r\nFAULT;PAPER OUT\r\nFAULT;RIBBON OUT\r\nFAULT;HEAD OPEN\r\nFAULT;PAUSED\r\nFAULT;OFFLINE\r\nFAULT;DOOR AJAR\r\n" +
                "LABELS PRINTED;0\r\nFORMS STORED;0\r\nLOGOS STORED;0\r\nERRORS;0\r\nRESTARTS;0\r\nCODEPAGE;850\r\nSNOOP;\"\"\r\nEND\r\n";
            var status = PrinterStatus.Parse(all);
            Assert.AreEqual(PrinterFaults.PaperOut | PrinterFaults.RibbonOut | PrinterFaults.HeadOpen | PrinterFaults.Paused | PrinterFaults.Offline, status.Faults);
            CollectionAssert.AreEqual(new[] { "DOOR AJAR" }, status.OtherFaults);
            Assert.AreEqual(850, status.CodePage);
            Assert.AreEqual(0, status.Menu.Count);
            var ready = PrinterStatus.Parse("STATUS;READY\r\nLABELS PRINTED;1\r\nNEW ITEM;x\r\nEND\r\n");
            Assert.IsTrue(ready.IsReady);
            Assert.AreEqual("x", ready.Other["NEW ITEM"]);
            foreach (var bad in new[]
            {
                "STATUS;READY\r\nLABELS PRINTED;1\r\n",                 // no END
                "STATUS;READY\r\nEND",                                  // END without its line end
                "STATUS;READY\r\nFAULT;PAPER OUT\r\nEND\r\n",           // a fault in a READY report
                "LABELS PRINTED;1\r\nSTATUS;READY\r\nEND\r\n",          // STATUS not first
                "STATUS;READY\r\nLABELS PRINTED;-1\r\nEND\r\n",         // not a count
                "STATUS;READY\r\nLABELS PRINTED;99999999999\r\nEND\r\n",
                "STATUS;READY\r\nSNOOP;OFF\r\nEND\r\n",                 // unquoted host value
                "STATUS;READY\r\nERRORS;1\r\nERRORS;2\r\nEND\r\n",
                "STATUS;READY\r\nMENU;\"a\"\r\nEND\r\n",
                "END\r\n",
            })
                Assert.Throws<FormatException>(() => PrinterStatus.Parse(bad), bad);
        }

        [Test]
        public void Cancelling_an_async_read_ends_it_within_100_ms_and_skips_the_calls_queued_behind_it()
        {
            using (var peer = new Peer())
            using (var printer = Printer.Tcp("127.0.0.1", peer.Port, nonBlocking: true, closeDelay: 0))
            using (var cancel = new CancellationTokenSource())
            {
                Task<byte[]> read = printer.ReadAsync("END\r\n", TimeSpan.FromSeconds(4), cancel.Token);
                Thread.Sleep(300);
                Task queued = printer.SendAsync("NEVER SENT", cancellationToken: cancel.Token);
                Thread.Sleep(200);
                Assert.IsFalse(read.IsCompleted, "the read waits for the printer");
                var clock = Stopwatch.StartNew();
                cancel.Cancel();
                bool ended = ((IAsyncResult)read).AsyncWaitHandle.WaitOne(1000) && ((IAsyncResult)queued).AsyncWaitHandle.WaitOne(1000);
                double ms = clock.Elapsed.TotalMilliseconds;
                Assert.IsTrue(ended);
                Console.WriteLine("cancelled read and queued send ended " + ms.ToString("F1") + " ms after Cancel()");
                Assert.Less(ms, 100.0, "cancelled after " + ms + " ms");
                Assert.IsTrue(read.IsCanceled && queued.IsCanceled);
                Assert.Throws<AggregateException>(() => read.Wait());
                // The read under way finishes in the background; then the printer is free again.
                printer.SendAsync("AFTER").Wait(TimeSpan.FromSeconds(10));
                Thread.Sleep(200);
                Assert.AreEqual("AFTER\\r\\n", Bytes.Show(peer.Received));
            }
        }

        [Test]
        public void Async_calls_return_results_and_errors()
        {
            using (var emu = new Emulator())
            using (var printer = Printer.Tcp("127.0.0.1", emu.Port, closeDelay: 0))
            {
                Assert.IsTrue(printer.SendAsync(new byte[] { 0x7E, 0x4E, 0x4F, 0x52, 0x4D, 0x41, 0x4C }).Wait(5000));
                var status = printer.GetStatusAsync().Result;
                Assert.IsTrue(status.IsReady);
                var timeout = printer.ReadAsync("NEVER", TimeSpan.FromSeconds(1));
                var error = Assert.Throws<AggregateException>(() => timeout.Wait(5000));
                Assert.IsInstanceOf<QovlibTimeoutException>(error.InnerException);
                var cancelled = printer.GetStatusAsync(new CancellationToken(true));
                Assert.IsTrue(cancelled.IsCanceled);
            }
        }
    }
}
