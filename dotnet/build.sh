#!/usr/bin/env bash
# Builds the .NET package into build/dotnet: Qovlib.dll (.NET Framework 4.5
# profile, compiled with Mono's mcs against the 4.5 reference assemblies, so
# nothing newer slips in), its XML documentation, and Qovlib.<version>.nupkg
# packed by nuget with the native libraries of build/linux, build/win64 and
# build/win32. The version is project(VERSION) of CMakeLists.txt.
# Usage: dotnet/build.sh [--no-pack]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$root/build/dotnet"
ref=/usr/lib/mono/4.5-api
pack=1
[ "${1:-}" = "--no-pack" ] && pack=0
fail() { echo "dotnet: $*" >&2; exit 1; }

version="$(sed -n 's/^project(qovlib VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
[ -n "$version" ] || fail "no project(VERSION) in CMakeLists.txt"
command -v mcs >/dev/null || fail "mcs is missing (scripts/packages/dotnet.list: bash scripts/deps.sh all)"
[ -f "$ref/mscorlib.dll" ] || fail "$ref is missing (mono-devel)"

mkdir -p "$out/lib/net45"
# AssemblyVersion wants four numbers: 2.03 -> 2.3.0.0; the informational version keeps the text.
IFS=. read -r major minor _ <<<"$version"
cat >"$out/AssemblyInfo.g.cs" <<INFO
[assembly: System.Reflection.AssemblyTitle("Qovlib")]
[assembly: System.Reflection.AssemblyDescription("Label printers from .NET through the QOVLIB library")]
[assembly: System.Reflection.AssemblyVersion("$((10#$major)).$((10#${minor:-0})).0.0")]
[assembly: System.Reflection.AssemblyInformationalVersion("$version")]
[assembly: System.Runtime.CompilerServices.InternalsVisibleTo("Qovlib.Tests")]
INFO

mcs -nologo -langversion:7.2 -target:library -optimize+ -warnaserror+ -nostdlib -noconfig \
  -define:SYSTEM_DRAWING \
  -r:"$ref/mscorlib.dll" -r:"$ref/System.dll" -r:"$ref/System.Core.dll" -r:"$ref/System.Drawing.dll" \
  -doc:"$out/lib/net45/Qovlib.xml" -out:"$out/lib/net45/Qovlib.dll" \
  "$out/AssemblyInfo.g.cs" "$root"/dotnet/src/Qovlib/*.cs
echo "dotnet: $out/lib/net45/Qovlib.dll ($version)"
[ "$pack" = 1 ] || exit 0

linux="$root/build/linux/libqovlib.so"
win64="$root/build/win64/QOVLIB.dll"
win32="$root/build/win32/QOVLIB.dll"
for f in "$linux" "$win64" "$win32"; do
  [ -f "$f" ] || fail "$f is missing (make build dll)"
done
stage="$out/package"
rm -rf "$stage"
mkdir -p "$stage/lib/net45" "$stage/build" "$stage/runtimes/win-x86/native" \
  "$stage/runtimes/win-x64/native" "$stage/runtimes/linux-x64/native"
cp "$out/lib/net45/Qovlib.dll" "$out/lib/net45/Qovlib.xml" "$stage/lib/net45/"
cp "$root/dotnet/build/Qovlib.targets" "$stage/build/"
cp "$win32" "$stage/runtimes/win-x86/native/QOVLIB.dll"
cp "$win64" "$stage/runtimes/win-x64/native/QOVLIB.dll"
# The file itself, not the symlink chain, without its debugging sections.
objcopy --strip-debug "$(readlink -f "$linux")" "$stage/runtimes/linux-x64/native/libqovlib.so"
sed "s/@VERSION@/$version/" "$root/dotnet/Qovlib.nuspec" >"$stage/Qovlib.nuspec"
rm -f "$out"/Qovlib.*.nupkg
(cd "$stage" && HOME="$out/home" nuget pack Qovlib.nuspec -BasePath "$stage" -OutputDirectory "$out" \
  -NoPackageAnalysis -NonInteractive) >"$out/pack.log" 2>&1 || { cat "$out/pack.log" >&2; fail "nuget pack failed"; }
ls "$out"/Qovlib.*.nupkg
