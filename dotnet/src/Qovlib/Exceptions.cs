using System;

namespace Qovlib
{
    /// <summary>
    /// Base of the exceptions of this package. The library itself reports
    /// failures only through its results (0/1 codes and the texts
    /// "Time Out\r\n", "-1" and ""); <see cref="Printer"/> and
    /// <see cref="Form"/> turn those that mean failure into these.
    /// </summary>
    [Serializable]
    public class QovlibException : Exception
    {
        /// <summary>An error with a message.</summary>
        public QovlibException(string message) : base(message) { }
    }

    /// <summary>An open call failed.</summary>
    [Serializable]
    public class QovlibOpenException : QovlibException
    {
        /// <summary>"tcp", "port" or "queue".</summary>
        public string Transport { get; private set; }
        /// <summary>The address and port, port name or queue name tried.</summary>
        public string Target { get; private set; }
        /// <summary>The raw result of the open export (1 for the failures of openport and openethernet).</summary>
        public int Result { get; private set; }

        /// <summary>A failed open of a transport and target, with the export's result.</summary>
        public QovlibOpenException(string transport, string target, int result, string detail = null)
            : base(string.Format("cannot open {0} connection to {1} (result {2}){3}", transport, target, result,
                string.IsNullOrEmpty(detail) ? "" : ": " + detail))
        {
            Transport = transport;
            Target = target;
            Result = result;
        }
    }

    /// <summary>A send found no connection or transport for the data, or (network) the connection failed or stalled.</summary>
    [Serializable]
    public class QovlibSendException : QovlibException
    {
        /// <summary>An error with a message.</summary>
        public QovlibSendException(string message) : base(message) { }
    }

    /// <summary>The printer's reply did not end with the terminator in time (the library's "Time Out\r\n").</summary>
    [Serializable]
    public class QovlibTimeoutException : QovlibException
    {
        /// <summary>An error with a message.</summary>
        public QovlibTimeoutException(string message) : base(message) { }
    }

    /// <summary>A read could not be carried out, or its reply cannot be understood.</summary>
    [Serializable]
    public class QovlibReadException : QovlibException
    {
        /// <summary>
        /// What the read returned: "-1" (the network connection failed; it stays
        /// so until the next open), "" (a spooler queue or LPT port cannot be
        /// read), or the reply that could not be parsed.
        /// </summary>
        public byte[] Raw { get; private set; }

        /// <summary>An error with a message and the raw reply.</summary>
        public QovlibReadException(string message, byte[] raw) : base(message)
        {
            Raw = raw;
        }
    }

    /// <summary>The library rejected a form setup or element call (its result 1).</summary>
    [Serializable]
    public class QovlibFormException : QovlibException
    {
        /// <summary>The call that was rejected, with its arguments.</summary>
        public string Call { get; private set; }

        /// <summary>A rejected call, and why where known.</summary>
        public QovlibFormException(string call, string detail = null)
            : base(call + " rejected" + (string.IsNullOrEmpty(detail) ? "" : ": " + detail))
        {
            Call = call;
        }
    }

    /// <summary>The call does not fit the library's one current connection (a second open, a closed Printer).</summary>
    [Serializable]
    public class QovlibStateException : QovlibException
    {
        /// <summary>An error with a message.</summary>
        public QovlibStateException(string message) : base(message) { }
    }
}
