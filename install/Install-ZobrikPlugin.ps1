<#
.SYNOPSIS
Registers (or removes) ZobrikWTSDVC.dll as a plug-in of the Remote Desktop
client for the current user.

.DESCRIPTION
Writes the registry key
  HKEY_CURRENT_USER\Software\Microsoft\Terminal Server Client\Default\AddIns\Zobrik
with the string value "Name" set to the full path of the DLL. The Remote
Desktop client (mstsc.exe) reads it when it starts, so restart the client
after installing or removing. No administrator rights are needed.

Running the script again with the same DLL changes nothing; with another DLL
it points the registration at that one.

.PARAMETER DllPath
Path of ZobrikWTSDVC.dll. Default: ZobrikWTSDVC.dll in the folder of this
script. A relative path is taken from the current folder and stored as a full
path. The file must be a 64-bit (x64) Windows DLL.

.PARAMETER Uninstall
Removes the registration instead. Removing it when it is not there is not an
error.

.EXAMPLE
powershell -ExecutionPolicy Bypass -File .\Install-ZobrikPlugin.ps1

.EXAMPLE
powershell -ExecutionPolicy Bypass -File .\Install-ZobrikPlugin.ps1 -Uninstall
#>
[CmdletBinding()]
param(
    [string]$DllPath = '',
    [switch]$Uninstall
)

Set-StrictMode -Version 2
$ErrorActionPreference = 'Stop'

$KeyPath = 'HKCU:\Software\Microsoft\Terminal Server Client\Default\AddIns\Zobrik'
$ValueName = 'Name'
$MachineAmd64 = 0x8664

# Prints the message on the error stream and ends the script with exit code 1.
function Stop-WithError([string]$Message) {
    $Host.UI.WriteErrorLine("Error: $Message")
    exit 1
}

# Returns the machine field of a PE file's COFF header, or $null when the
# file is not a PE image.
function Get-PeMachine([string]$Path) {
    $bytes = [System.IO.File]::ReadAllBytes($Path)
    if ($bytes.Length -lt 0x40 -or $bytes[0] -ne 0x4D -or $bytes[1] -ne 0x5A) {
        return $null                                   # no "MZ" header
    }
    $peOffset = [System.BitConverter]::ToInt32($bytes, 0x3C)
    if ($peOffset -lt 0 -or $peOffset + 6 -gt $bytes.Length) {
        return $null
    }
    if ($bytes[$peOffset] -ne 0x50 -or $bytes[$peOffset + 1] -ne 0x45 -or
        $bytes[$peOffset + 2] -ne 0 -or $bytes[$peOffset + 3] -ne 0) {
        return $null                                   # no "PE\0\0" signature
    }
    return [System.BitConverter]::ToUInt16($bytes, $peOffset + 4)
}

if ($Uninstall) {
    if (Test-Path -Path $KeyPath) {
        Remove-Item -Path $KeyPath -Recurse -Force
        Write-Host "Removed the Zobrik plug-in registration ($KeyPath)."
    } else {
        Write-Host "The Zobrik plug-in is not registered; nothing to remove."
    }
    Write-Host 'Restart the Remote Desktop client for the change to take effect.'
    exit 0
}

if ($DllPath -eq '') {
    $DllPath = Join-Path $PSScriptRoot 'ZobrikWTSDVC.dll'
}
if (-not (Test-Path -LiteralPath $DllPath -PathType Leaf)) {
    Stop-WithError "DLL not found: $DllPath"
}
# The Remote Desktop client needs the full file-system path.
$FullPath = (Resolve-Path -LiteralPath $DllPath).ProviderPath

$machine = Get-PeMachine $FullPath
if ($null -eq $machine) {
    Stop-WithError "Not a Windows DLL (no PE header): $FullPath"
}
if ($machine -ne $MachineAmd64) {
    Stop-WithError ('Not a 64-bit (x64) DLL: {0} has machine type 0x{1:X4}, expected 0x8664.' -f $FullPath, $machine)
}

# New-Item -Force on an existing key would empty it, so create it only when
# it is missing (with any missing parent keys).
if (-not (Test-Path -Path $KeyPath)) {
    New-Item -Path $KeyPath -Force | Out-Null
}
$current = (Get-ItemProperty -Path $KeyPath -Name $ValueName -ErrorAction SilentlyContinue)
if ($null -ne $current -and $current.$ValueName -eq $FullPath) {
    Write-Host "The Zobrik plug-in is already registered: $FullPath"
    exit 0
}
New-ItemProperty -Path $KeyPath -Name $ValueName -PropertyType String -Value $FullPath -Force | Out-Null

$written = (Get-ItemProperty -Path $KeyPath -Name $ValueName).$ValueName
if ($written -ne $FullPath) {
    Stop-WithError "The registry value could not be written: $KeyPath\$ValueName"
}
Write-Host "Registered the Zobrik plug-in: $FullPath"
Write-Host "  key:   $KeyPath"
Write-Host "  value: $ValueName (REG_SZ)"
Write-Host 'Restart the Remote Desktop client to load it.'
exit 0
