#!/usr/bin/env python3
# Writes the Acme Tool install script and licences in their code pages:
# GB sections and the GB licence in GBK (code page 936), B5 ones in Big5 (950).
# The outputs are committed; run this again after changing a text here.
import os

here = os.path.dirname(os.path.abspath(__file__))

def lang_sections(prefix, grp, company, version, comps, links):
    s = f"[{prefix}.GrpName]\r\nGrpName={grp}\r\nCOMPANY={company}\r\nVERSION={version}\r\n"
    s += "REG=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AcmeTool\r\nPRGDIR=AcmeTool\r\nUNINST=TRUE\r\n\r\n"
    s += f"[{prefix}.File]\r\n" + "".join(f"{k}={v}\r\n" for k, v in comps) + "\r\n"
    s += f"[{prefix}.Link]\r\n" + "".join(f"{k}={v}\r\n" for k, v in links) + "\r\n"
    return s

FILES_MAIN = "acmeui.exe;acmesvc.exe;acmehook.dll[S;readme.txt"
FILES_DISK = "acmedisk.sys[S"

# The demo names the default folders of its maker (Program Files\Velmora,
# Common Files\Tarnwick) itself, so the script the setup carries is this one.
common = ("[Common]\r\nAutoRun=acmeui.exe\r\nSERVICENAME=AcmeSvc\r\nSERVICEFILE=acmesvc.exe\r\n"
          "FindClass=TAcmeMainWindow\r\nReNameList=acmehook.dll;acmeui.exe\r\nWIN2K=TRUE\r\n"
          "VendorDir=Velmora\r\nSharedDir=Tarnwick\r\n\r\n"
          "[Service]\r\nAcmeSvc=TRUE\r\n\r\n")
tail = "[DESTDIR]\r\ndrivers=acmedisk.sys\r\n\r\n[AutoReg]\r\nSOFTWARE\\Acme\\Tool;InstallPath;acmeui.exe=1\r\n"

gb = lang_sections("GB", "艾克美工具", "艾克美有限公司", "正式版",
                   [("艾克美工具", FILES_MAIN), ("磁盘驱动", FILES_DISK)],
                   [("艾克美工具", "acmeui.exe"), ("文档\\自述", "readme.txt")])
b5 = lang_sections("B5", "艾克美工具", "艾克美有限公司", "正式版",
                   [("艾克美工具", FILES_MAIN), ("磁碟驅動程式", FILES_DISK)],
                   [("艾克美工具", "acmeui.exe"), ("文件\\讀我", "readme.txt")])
en = lang_sections("EN", "Acme Tool", "Acme Ltd.", "Released Version",
                   [("Acme Tool", FILES_MAIN), ("Disk Driver", FILES_DISK)],
                   [("Acme Tool", "acmeui.exe"), ("Docs\\Read Me", "readme.txt")])

def check_no_5c_trail(b):
    # A 0x5C trail byte would read as a path delimiter in names; keep texts free of it.
    i = 0
    while i < len(b):
        if b[i] >= 0x81:
            assert b[i + 1] != 0x5C, b[i:i + 2]
            i += 2
        else:
            i += 1

script = common.encode("ascii") + gb.encode("gbk") + b5.encode("cp950") + en.encode("ascii") + tail.encode("ascii")
check_no_5c_trail(script)
open(os.path.join(here, "setup.ini"), "wb").write(script)
# The end-to-end tests install the same package on the Windows 9x family: the
# demo's script without its WIN2K=TRUE, kept beside those tests.
variant = script.replace(b"WIN2K=TRUE\r\n", b"")
assert variant != script
open(os.path.join(here, "..", "..", "tests", "e2e", "setup", "packages", "acme9x.ini"), "wb").write(variant)

LIC_EN = """Acme Tool Licence Agreement

Please read this agreement before installing Acme Tool.

1. Acme Ltd. grants you the right to install and use Acme Tool on any number of computers that you own or control.
2. You may copy Acme Tool for backup purposes. You may not sell it or charge for copies of it.
3. Acme Tool is provided "as is", without warranty of any kind. Acme Ltd. is not liable for any loss or damage that arises from its use.
4. This agreement ends when you remove Acme Tool from your computers.

Press "Agree" to accept this agreement and continue. Close this window if you do not accept it.
"""
LIC_GB = """艾克美工具许可协议

安装艾克美工具之前，请阅读本协议。

一、艾克美有限公司授予您在您拥有或管理的任意数量的计算机上安装和使用艾克美工具的权利。
二、您可以为备份目的复制艾克美工具，但不得出售或为其副本收费。
三、艾克美工具按“现状”提供，不附带任何形式的担保。艾克美有限公司对因使用本软件而产生的任何损失或损害不承担责任。
四、当您从计算机上删除艾克美工具时，本协议终止。

按“同意”接受本协议并继续。如果您不接受，请关闭本窗口。
"""
LIC_B5 = """艾克美工具授權協議

裝設艾克美工具之前，請閱讀本協議。

一、艾克美有限公司授予您在您擁有或管理的任意數量的電腦上裝設和使用艾克美工具的權利。
二、您可以為備份目的複製艾克美工具，但不得出售或為其副本收費。
三、艾克美工具按「現狀」提供，不附帶任何形式的擔保。艾克美有限公司對因使用本軟體而產生的任何損失或損害不承擔責任。
四、當您從電腦上刪除艾克美工具時，本協議終止。

按「同意」接受本協議並繼續。如果您不接受，請關閉本視窗。
"""

def crlf(s):
    return s.replace("\n", "\r\n")

open(os.path.join(here, "LICEN.txt"), "wb").write(crlf(LIC_EN).encode("ascii"))
open(os.path.join(here, "LICCN.txt"), "wb").write(crlf(LIC_GB).encode("gbk"))
open(os.path.join(here, "LICB5.txt"), "wb").write(crlf(LIC_B5).encode("cp950"))
