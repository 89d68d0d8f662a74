using System;
using System.Linq;
using System.Net;
using System.Net.Sockets;
using System.Threading;
using System.Threading.Tasks;

namespace Qovlib
{
    /// <summary>
    /// The library's one current connection.
    /// </summary>
    /// <remarks>
    /// The library holds a single current connection for the whole process,
    /// so only one Printer can be open at a time: opening a second while the
    /// first is open raises <see cref="QovlibStateException"/> instead of
    /// silently taking the connection over, as the library's open calls
    /// would. Every call holds <see cref="Library.Lock"/>, so one Printer may
    /// be shared by several threads; their calls then run one at a time, and
    /// each send reaches the printer whole.
    /// <code>
    /// using (var printer = Printer.Tcp("192.168.0.50", 9100))
    /// {
    ///     printer.Send("~NORMAL");
    ///     Console.WriteLine(printer.GetStatus().LabelsPrinted);
    /// }
    /// </code>
    /// </remarks>
    public sealed class Printer : IDisposable
    {
        static readonly byte[] timeOut = { (byte)'T', (byte)'i', (byte)'m', (byte)'e', (byte)' ', (byte)'O', (byte)'u', (byte)'t', 13, 10 };
        static Printer current;

        readonly Action close;
        bool open = true;

        /// <summary>"tcp", "port" or "queue".</summary>
        public string Transport { get; private set; }
        /// <summary>The address and port, the port name or the queue name.</summary>
        public string Target { get; private set; }
        /// <summary>True once <see cref="Close"/> has run.</summary>
        public bool IsClosed { get { return !open; } }
        /// <summary>The open Printer that holds the current connection, or null.</summary>
        public static Printer Current { get { lock (Library.Lock) return current; } }

        Printer(string transport, string target, Action close)
        {
            Transport = transport;
            Target = target;
            this.close = close;
        }

        static Printer OpenWith(string transport, string target, Func<int> opener, int ok, Action close, Action onFailure)
        {
            lock (Library.Lock)
            {
                if (current != null)
                    throw new QovlibStateException(string.Format(
                        "the {0} connection to {1} is still open; the library has one current connection: close it first",
                        current.Transport, current.Target));
                int result = opener();
                if (result != ok)
                {
                    if (onFailure != null) onFailure();
                    throw new QovlibOpenException(transport, target, result);
                }
                current = new Printer(transport, target, close);
                return current;
            }
        }

        /// <summary>
        /// Connects over TCP (openethernet; with <paramref name="nonBlocking"/>,
        /// openethernet_async, whose connect waits at most 5 s). A host name is
        /// resolved to an IPv4 address first, since the library takes dotted
        /// IPv4 addresses only. <paramref name="closeDelay"/> is the time in ms
        /// the printer gets to take the last data before the socket closes.
        /// </summary>
        /// <remarks>
        /// On the blocking socket a receive waits up to 1 s, and a receive that
        /// times out before the read's last second becomes the library's
        /// sticky socket error (<see cref="QovlibReadException"/> on this and
        /// every later read until the next open); keep read time-outs on a
        /// silent printer at 1 s there, or use the non-blocking socket, whose
        /// reads poll until their limit.
        /// </remarks>
        public static Printer Tcp(string host, int port = 9100, bool nonBlocking = false, int closeDelay = 1000)
        {
            if (host == null) throw new ArgumentNullException("host");
            string target = host + ":" + port;
            if (port <= 0 || port > 65535) throw new QovlibOpenException("tcp", target, 1, "not a TCP port number");
            if (closeDelay < 0) throw new ArgumentOutOfRangeException("closeDelay");
            IPAddress address;
            try
            {
                address = Dns.GetHostAddresses(host).FirstOrDefault(a => a.AddressFamily == AddressFamily.InterNetwork);
            }
            catch (Exception error) when (error is SocketException || error is ArgumentException)
            {
                throw new QovlibOpenException("tcp", target, 1, "cannot resolve the address (" + error.Message + ")");
            }
            if (address == null) throw new QovlibOpenException("tcp", target, 1, "the name has no IPv4 address");
            string ipv4 = address.ToString();
            return OpenWith("tcp", target,
                () => nonBlocking ? Native.openethernet_async(ipv4, port) : Native.openethernet(ipv4, port), 0,
                () => Native.closeethernetport(closeDelay),
                // A failed non-blocking connect leaves its socket open.
                nonBlocking ? (Action)(() => Native.closeethernetport(0)) : null);
        }

        /// <summary>
        /// Opens a port (openport): "USB", "LPT1".."LPT4" or "COM1".."COM5". On
        /// Linux they are the USB printer of the vendor filter, /dev/lpN and
        /// /dev/ttySN unless QOVLIB_LPT1.. and QOVLIB_COM1.. name other devices.
        /// The library tries the name as a spooler queue first.
        /// </summary>
        public static Printer Port(string name)
        {
            Marshalling.Ansi(name, "name");
            return OpenWith("port", name, () => Native.openport(name), 0, () => Native.closeport(), null);
        }

        /// <summary>Opens a spooler printer (a CUPS queue on Linux) and starts a print job on it (openport).</summary>
        public static Printer Queue(string name)
        {
            Marshalling.Ansi(name, "name");
            return OpenWith("queue", name, () => Native.openport(name), 0, () => Native.closeport(), null);
        }

        /// <summary>Closes the connection. Safe to call more than once.</summary>
        public void Close()
        {
            lock (Library.Lock)
            {
                if (!open) return;
                open = false;
                if (current == this) current = null;
                close();
            }
        }

        /// <summary>Closes the connection.</summary>
        public void Dispose()
        {
            Close();
        }

        /// <summary>"Printer tcp 127.0.0.1:9100 open".</summary>
        public override string ToString()
        {
            return string.Format("Printer {0} {1} {2}", Transport, Target, open ? "open" : "closed");
        }

        internal void RequireOpen()
        {
            if (!open) throw new QovlibStateException(string.Format("the {0} connection to {1} is closed", Transport, Target));
            if (current != this) throw new QovlibStateException(ToString() + " is not the current connection");
        }

        // ---- sending

        /// <summary>
        /// Sends command text, encoded in the ANSI code page, followed by CR LF
        /// unless <paramref name="lineEnd"/> is false (sendcommand,
        /// sendcommand_withoutcrlf). Raises <see cref="QovlibSendException"/>
        /// when the library had no transport for it or (network) the connection
        /// failed or took no byte for 30 s.
        /// </summary>
        public void Send(string text, bool lineEnd = true)
        {
            Marshalling.Ansi(text, "text");
            lock (Library.Lock)
            {
                RequireOpen();
                Sent(lineEnd ? Native.sendcommand(text) : Native.sendcommand_withoutcrlf(text));
            }
        }

        /// <summary>
        /// Sends bytes exactly as given, NUL bytes included, followed by CR LF
        /// unless <paramref name="lineEnd"/> is false (sendBinaryData,
        /// sendBinaryDataNoCRLF). Pass Encoding.UTF8.GetBytes(text) to send UTF-8.
        /// </summary>
        public void Send(byte[] data, bool lineEnd = true)
        {
            if (data == null) throw new ArgumentNullException("data");
            lock (Library.Lock)
            {
                RequireOpen();
                Sent(lineEnd ? Native.sendBinaryData(data, data.Length) : Native.sendBinaryDataNoCRLF(data, data.Length));
            }
        }

        void Sent(int result)
        {
            if (result != 1) throw new QovlibSendException(string.Format("nothing sent on the {0} connection to {1}", Transport, Target));
        }

        // ---- reading

        /// <summary>
        /// Reads until <paramref name="terminator"/> has arrived and returns
        /// everything received (QOVA_Read; with a time-out,
        /// QOVA_Read_withTimeout). On a network connection the time-out is the
        /// whole read's limit in whole seconds of the calendar clock (at least
        /// 1), so a limit of n ends after n - 1 to n seconds; elsewhere it is
        /// the wait for each read request. Without one the library's own
        /// timings apply (5 s).
        /// </summary>
        /// <exception cref="QovlibTimeoutException">The terminator did not come in time.</exception>
        /// <exception cref="QovlibReadException">The connection failed ("-1") or cannot be read ("").</exception>
        public byte[] Read(string terminator, TimeSpan? timeout = null)
        {
            Marshalling.Ansi(terminator, "terminator");
            int milliseconds = Milliseconds(timeout);
            byte[] reply;
            lock (Library.Lock)
            {
                RequireOpen();
                reply = timeout.HasValue ? Native.QOVA_Read_withTimeout(terminator, milliseconds, 0, 0) : Native.QOVA_Read(terminator);
            }
            return Checked(reply, terminator);
        }

        static int Milliseconds(TimeSpan? timeout)
        {
            if (!timeout.HasValue) return 0;
            if (timeout.Value < TimeSpan.Zero) throw new ArgumentOutOfRangeException("timeout", "a time-out cannot be negative");
            return (int)Math.Min(timeout.Value.TotalMilliseconds, int.MaxValue);
        }

        byte[] Checked(byte[] reply, string terminator)
        {
            string where = string.Format("the {0} connection to {1}", Transport, Target);
            if (reply.SequenceEqual(timeOut))
                throw new QovlibTimeoutException(string.Format("no \"{0}\" from {1} in time", Escape(terminator), where));
            if (reply.Length == 2 && reply[0] == '-' && reply[1] == '1')
                throw new QovlibReadException("reading from " + where + " failed (the library's -1; reopen to read again)", reply);
            if (reply.Length == 0)
                throw new QovlibReadException(where + " cannot be read (a spooler queue or an LPT port)", reply);
            return reply;
        }

        static string Escape(string text)
        {
            return text.Replace("\r", "\\r").Replace("\n", "\\n");
        }

        /// <summary>
        /// Asks for the status report (QOVA_GetStatus) and parses it. Raises as
        /// <see cref="Read"/> does, and <see cref="QovlibReadException"/> when
        /// the reply is no status report.
        /// </summary>
        public PrinterStatus GetStatus()
        {
            byte[] reply;
            lock (Library.Lock)
            {
                RequireOpen();
                reply = Native.QOVA_GetStatus();
            }
            string text = Marshalling.Decode(Checked(reply, "END\r\n"));
            try
            {
                return PrinterStatus.Parse(text);
            }
            catch (FormatException error)
            {
                throw new QovlibReadException(error.Message, reply);
            }
        }

        // ---- asynchronous forms

        /// <summary>
        /// <see cref="Send(string, bool)"/> on a worker thread. Cancelling
        /// completes the task as cancelled at once (within 100 ms); a send that
        /// has not yet got <see cref="Library.Lock"/> never starts, one that has
        /// goes on to its end in the background (library calls cannot be
        /// interrupted) and its result is dropped.
        /// </summary>
        public Task SendAsync(string text, bool lineEnd = true, CancellationToken cancellationToken = default(CancellationToken))
        {
            Marshalling.Ansi(text, "text");
            return Background.Run(() => { Send(text, lineEnd); return true; }, cancellationToken);
        }

        /// <summary><see cref="Send(byte[], bool)"/> on a worker thread; cancels as <see cref="SendAsync(string, bool, CancellationToken)"/>.</summary>
        public Task SendAsync(byte[] data, bool lineEnd = true, CancellationToken cancellationToken = default(CancellationToken))
        {
            if (data == null) throw new ArgumentNullException("data");
            return Background.Run(() => { Send(data, lineEnd); return true; }, cancellationToken);
        }

        /// <summary>
        /// <see cref="Read"/> on a worker thread. Cancelling completes the task
        /// as cancelled at once (within 100 ms); a read already under way holds
        /// <see cref="Library.Lock"/> until its time-out and what it reads is dropped.
        /// </summary>
        public Task<byte[]> ReadAsync(string terminator, TimeSpan? timeout = null, CancellationToken cancellationToken = default(CancellationToken))
        {
            Marshalling.Ansi(terminator, "terminator");
            Milliseconds(timeout);
            return Background.Run(() => Read(terminator, timeout), cancellationToken);
        }

        /// <summary><see cref="GetStatus"/> on a worker thread; cancels as <see cref="ReadAsync"/>.</summary>
        public Task<PrinterStatus> GetStatusAsync(CancellationToken cancellationToken = default(CancellationToken))
        {
            return Background.Run(GetStatus, cancellationToken);
        }
    }
}
