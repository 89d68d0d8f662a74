using System;
using System.Collections.Generic;
using System.Text;

namespace Qovlib.Tests
{
    /// <summary>The parts of a PE file the package checks: machine, export names, imported functions.</summary>
    sealed class PeFile
    {
        readonly byte[] data;
        readonly List<int[]> sections = new List<int[]>(); // virtual address, virtual size, raw offset, raw size
        readonly int directories;

        public ushort Machine { get; private set; }

        public PeFile(byte[] data)
        {
            this.data = data;
            if (U16(0) != 0x5A4D) throw new FormatException("no MZ header");
            int pe = I32(0x3C);
            if (I32(pe) != 0x4550) throw new FormatException("no PE signature");
            Machine = U16(pe + 4);
            int count = U16(pe + 6), optionalSize = U16(pe + 20), optional = pe + 24;
            ushort magic = U16(optional);
            directories = optional + (magic == 0x20B ? 112 : 96);
            for (int i = 0, at = optional + optionalSize; i < count; i++, at += 40)
                sections.Add(new[] { I32(at + 12), I32(at + 8), I32(at + 20), I32(at + 16) });
            Wide = magic == 0x20B;
        }

        public bool Wide { get; private set; }

        ushort U16(int at) { return BitConverter.ToUInt16(data, at); }
        int I32(int at) { return BitConverter.ToInt32(data, at); }

        int Offset(int rva)
        {
            foreach (var s in sections)
                if (rva >= s[0] && rva < s[0] + Math.Max(s[1], s[3])) return rva - s[0] + s[2];
            throw new FormatException("RVA " + rva + " is in no section");
        }

        string Name(int rva)
        {
            int at = Offset(rva), end = at;
            while (data[end] != 0) end++;
            return Encoding.ASCII.GetString(data, at, end - at);
        }

        public List<string> Exports()
        {
            var names = new List<string>();
            int rva = I32(directories);
            if (rva == 0) return names;
            int dir = Offset(rva), count = I32(dir + 24), table = Offset(I32(dir + 32));
            for (int i = 0; i < count; i++) names.Add(Name(I32(table + 4 * i)));
            return names;
        }

        /// <summary>"dll!function" for every function imported by name.</summary>
        public List<string> Imports()
        {
            var names = new List<string>();
            int rva = I32(directories + 8);
            if (rva == 0) return names;
            for (int d = Offset(rva); I32(d + 12) != 0; d += 20)
            {
                string dll = Name(I32(d + 12)).ToLowerInvariant();
                int thunks = I32(d) != 0 ? I32(d) : I32(d + 16);
                for (int t = Offset(thunks); ; t += Wide ? 8 : 4)
                {
                    long entry = Wide ? BitConverter.ToInt64(data, t) : (uint)I32(t);
                    if (entry == 0) break;
                    bool byOrdinal = Wide ? entry < 0 : (entry & 0x80000000) != 0;
                    if (!byOrdinal) names.Add(dll + "!" + Name((int)entry + 2));
                }
            }
            return names;
        }
    }
}
