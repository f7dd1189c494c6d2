# Checks a TallyLoomMMR.dll built for the host: its export table, its version
# resource and the DLLs it imports. Each failure is named; any failure ends
# with exit code 1. Needs Visual Studio's dumpbin (found through vswhere).
#
#   ./tools/check-windows-dll.ps1 -Dll PATH -Version VERSION `
#       -Description "TallyLoom MMR - BakkesMod plugin" -Product "TallyLoom MMR"
#
# VERSION is the one in plugin/PluginVersion.h (the workflow reads it there).
param(
  [Parameter(Mandatory = $true)][string]$Dll,
  [Parameter(Mandatory = $true)][string]$Version,
  [Parameter(Mandatory = $true)][string]$Description,
  [Parameter(Mandatory = $true)][string]$Product
)
$ErrorActionPreference = 'Stop'
$failures = @()

if (-not (Test-Path $Dll)) {
  Write-Host "FAIL: $Dll does not exist"
  exit 1
}
$Dll = (Resolve-Path $Dll).Path

$vswhere = Join-Path ${env:ProgramFiles(x86)} 'Microsoft Visual Studio\Installer\vswhere.exe'
$dumpbin = & $vswhere -latest -products * -find 'VC\Tools\MSVC\**\bin\Hostx64\x64\dumpbin.exe' |
  Select-Object -First 1
if (-not $dumpbin) {
  Write-Host 'FAIL: dumpbin not found (Visual Studio with the C++ tools is needed)'
  exit 1
}

# The three entry points the host looks up, under their plain names.
$exports = & $dumpbin /nologo /exports $Dll
$names = $exports | ForEach-Object {
  if ($_ -match '^\s+\d+\s+[0-9A-Fa-f]+\s+[0-9A-Fa-f]+\s+(\S+)') { $Matches[1] }
}
foreach ($wanted in 'getPlugin', 'deleteMe', 'exports') {
  if ($names -notcontains $wanted) { $failures += "the export table has no plain '$wanted'" }
}

# The version resource.
$info = (Get-Item $Dll).VersionInfo
$expected = [ordered]@{
  FileVersion     = $Version
  ProductVersion  = $Version
  FileDescription = $Description
  ProductName     = $Product
}
foreach ($field in $expected.Keys) {
  if ($info.$field -ne $expected[$field]) {
    $failures += "$field is '$($info.$field)', not '$($expected[$field])'"
  }
}

# Imports: the host's pluginsdk.dll, and otherwise only Windows' own system
# libraries (in System32, and API sets). No C or C++ runtime DLL: the plugin
# links the static runtime, so it never depends on the msvcp140.dll that the
# game process happens to have loaded (an older one crashes in _Mtx_lock).
# System32 also holds the Visual C++ redistributables (concrt140, vcomp140,
# msvcr120, mfc140, ...), so their families are refused by name first.
$dependents = & $dumpbin /nologo /dependents $Dll
$imports = $dependents | ForEach-Object { if ($_ -match '^\s+(\S+\.dll)\s*$') { $Matches[1] } }
if ($imports -notcontains 'pluginsdk.dll') { $failures += 'it does not import pluginsdk.dll' }
$runtimes = 'msvcp*', 'vcruntime*', 'ucrtbase*', 'api-ms-win-crt-*', 'concrt*', 'vcomp*', 'msvcr*',
  'mfc*', 'vccorlib*'
$system32 = Join-Path $env:SystemRoot 'System32'
foreach ($import in $imports) {
  if ($import -eq 'pluginsdk.dll') { continue }
  $runtime = $runtimes | Where-Object { $import -like $_ }
  if ($runtime) {
    $failures += "it imports $import, a Visual C++ runtime DLL: it must link the static runtime (/MT)"
    continue
  }
  if ($import -like 'api-ms-win-*') { continue }
  if (-not (Test-Path (Join-Path $system32 $import))) {
    $failures += "it imports $import, which is no system library"
  }
}

Write-Host "Exports: $($names -join ', ')"
Write-Host "Imports: $($imports -join ', ')"
Write-Host "Version: $($info.FileVersion) / $($info.ProductVersion), '$($info.FileDescription)', '$($info.ProductName)'"
if ($failures.Count -gt 0) {
  foreach ($failure in $failures) { Write-Host "FAIL: $failure" }
  exit 1
}
Write-Host "ok $Dll"
