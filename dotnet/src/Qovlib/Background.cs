using System;
using System.Threading;
using System.Threading.Tasks;

namespace Qovlib
{
    /// <summary>Runs blocking library calls on a thread of their own, with cancellation.</summary>
    static class Background
    {
        const int LockPollMs = 20;

        /// <summary>
        /// Runs <paramref name="work"/> on a dedicated thread once it holds
        /// <see cref="Library.Lock"/>. The task is cancelled the moment the token
        /// is: a work item still waiting for the lock is skipped, one already
        /// running finishes (its result or error is dropped).
        /// </summary>
        internal static Task<T> Run<T>(Func<T> work, CancellationToken token)
        {
            var done = new TaskCompletionSource<T>();
            if (token.IsCancellationRequested)
            {
                done.SetCanceled();
                return done.Task;
            }
            CancellationTokenRegistration registration = token.Register(() => done.TrySetCanceled());
            var thread = new Thread(() =>
            {
                try
                {
                    bool entered = false;
                    while (!entered)
                    {
                        if (done.Task.IsCompleted) return; // cancelled before it could start
                        entered = Monitor.TryEnter(Library.Lock, LockPollMs);
                    }
                    T result;
                    try
                    {
                        result = work();
                    }
                    finally
                    {
                        Monitor.Exit(Library.Lock);
                    }
                    done.TrySetResult(result);
                }
                catch (Exception error)
                {
                    done.TrySetException(error);
                }
                finally
                {
                    registration.Dispose();
                }
            });
            thread.IsBackground = true;
            thread.Name = "qovlib call";
            thread.Start();
            return done.Task;
        }
    }
}
