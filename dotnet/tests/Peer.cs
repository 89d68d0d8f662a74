using System;
using System.Collections.Generic;
using System.IO;
using System.Net;
using System.Net.Sockets;
using System.Threading;

namespace Qovlib.Tests
{
    /// <summary>
    /// A printer on a loopback TCP port that keeps what it receives and, when
    /// given an answer, sends it each time a status query ("~STATUS") has
    /// arrived; without one it stays silent.
    /// </summary>
    sealed class Peer : IDisposable
    {
        readonly TcpListener listener = new TcpListener(IPAddress.Loopback, 0);
        readonly Thread thread;
        readonly MemoryStream received = new MemoryStream();
        readonly string answer;
        volatile bool stopping;

        public int Port { get; private set; }

        public Peer(string answer = null)
        {
            this.answer = answer;
            listener.Start();
            Port = ((IPEndPoint)listener.LocalEndpoint).Port;
            thread = new Thread(Serve) { IsBackground = true };
            thread.Start();
        }

        void Serve()
        {
            try
            {
                while (!stopping)
                {
                    using (var client = listener.AcceptTcpClient())
                    {
                        client.ReceiveTimeout = 100;
                        var stream = client.GetStream();
                        var buffer = new byte[4096];
                        string pending = "";
                        while (!stopping)
                        {
                            int n;
                            try
                            {
                                n = stream.Read(buffer, 0, buffer.Length);
                            }
                            catch (IOException)
                            {
                                continue; // the receive time-out: look at stopping again
                            }
                            if (n == 0) break;
                            lock (received) received.Write(buffer, 0, n);
                            pending += System.Text.Encoding.GetEncoding(28591).GetString(buffer, 0, n);
                            int at;
                            while (answer != null && (at = pending.IndexOf("~STATUS", StringComparison.Ordinal)) >= 0)
                            {
                                pending = pending.Substring(at + 7);
                                byte[] reply = Bytes.Of(answer);
                                stream.Write(reply, 0, reply.Length);
                            }
                            if (pending.Length > 16) pending = pending.Substring(pending.Length - 16);
                        }
                    }
                }
            }
            catch (SocketException) { }
            catch (ObjectDisposedException) { }
            catch (InvalidOperationException) { }
        }

        public byte[] Received
        {
            get { lock (received) return received.ToArray(); }
        }

        public void Dispose()
        {
            stopping = true;
            listener.Stop();
            thread.Join(2000);
        }
    }
}
