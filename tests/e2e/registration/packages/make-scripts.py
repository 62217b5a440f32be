#!/usr/bin/env python3
# Writes the install scripts of the registration tests in their code pages (GB
# sections in GBK, B5 sections in Big5). The outputs are committed; run this
# again after changing a text here.
#   reg.ini       the demo package for both families, with a shortcut whose
#                 subfolder name holds a double-byte character ending in 0x5C
#   reg-lite.ini  UNINST=FALSE, no FindClass, a link to a file of a second
#                 component, and a service program whose registration fails
import os

here = os.path.dirname(os.path.abspath(__file__))


def lang(prefix, enc, grp, company, version, reg, prgdir, uninst, comps, links):
    s = (f"[{prefix}.GrpName]\r\nGrpName={grp}\r\nCOMPANY={company}\r\nVERSION={version}\r\n"
         f"REG=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{reg}\r\nPRGDIR={prgdir}\r\n"
         f"UNINST={uninst}\r\n\r\n")
    s += f"[{prefix}.File]\r\n" + "".join(f"{k}={v}\r\n" for k, v in comps) + "\r\n"
    s += f"[{prefix}.Link]\r\n" + "".join(f"{k}={v}\r\n" for k, v in links) + "\r\n"
    return s.encode(enc)


MAIN = "acmeui.exe;acmesvc.exe;acmehook.dll[S;readme.txt"
DISK = "acmedisk.sys[S"

reg = (b"[Common]\r\nAutoRun=acmeui.exe\r\nSERVICENAME=AcmeSvc\r\nSERVICEFILE=acmesvc.exe\r\n"
       b"FindClass=TAcmeMainWindow\r\nReNameList=acmehook.dll;acmeui.exe\r\n\r\n[Service]\r\nAcmeSvc=TRUE\r\n\r\n")
# 淺 is GBK 9C 5C and 功 is Big5 A5 5C: the second byte reads as a backslash.
reg += lang("GB", "gbk", "艾克美工具", "艾克美有限公司", "正式版", "AcmeTool", "AcmeTool", "TRUE",
            [("艾克美工具", MAIN), ("磁盘驱动", DISK)],
            [("艾克美工具", "acmeui.exe"), ("文档\\自述", "readme.txt"), ("淺色\\说明", "readme.txt")])
reg += lang("B5", "cp950", "艾克美工具", "艾克美有限公司", "正式版", "AcmeTool", "AcmeTool", "TRUE",
            [("艾克美工具", MAIN), ("磁碟驅動程式", DISK)],
            [("艾克美工具", "acmeui.exe"), ("文件\\讀我", "readme.txt"), ("功能\\說明", "readme.txt")])
reg += lang("EN", "ascii", "Acme Tool", "Acme Ltd.", "Released Version", "AcmeTool", "AcmeTool", "TRUE",
            [("Acme Tool", MAIN), ("Disk Driver", DISK)],
            [("Acme Tool", "acmeui.exe"), ("Docs\\Read Me", "readme.txt"), ("Tools\\Notes", "readme.txt")])
reg += b"[DESTDIR]\r\ndrivers=acmedisk.sys\r\n\r\n[AutoReg]\r\nSOFTWARE\\Acme\\Tool;InstallPath;acmeui.exe=1\r\n"
assert b"\x9c\x5c" in reg and b"\xa5\x5c" in reg
open(os.path.join(here, "reg.ini"), "wb").write(reg)

LITE = "acmeui.exe;readme.txt;failsvc.exe"
lite = (b"[Common]\r\nSERVICENAME=KxFailSvc\r\nSERVICEFILE=failsvc.exe\r\n\r\n"
        b"[Service]\r\nKxFailSvc=TRUE\r\n\r\n")
lite += lang("GB", "gbk", "艾克美精简版", "艾克美有限公司", "正式版", "AcmeLite", "AcmeLite", "FALSE",
             [("艾克美精简版", LITE), ("附加文件", "extras.txt")],
             [("艾克美精简版", "acmeui.exe"), ("附加\\说明", "extras.txt")])
lite += lang("B5", "cp950", "艾克美精簡版", "艾克美有限公司", "正式版", "AcmeLite", "AcmeLite", "FALSE",
             [("艾克美精簡版", LITE), ("附加檔案", "extras.txt")],
             [("艾克美精簡版", "acmeui.exe"), ("附加\\說明", "extras.txt")])
lite += lang("EN", "ascii", "Acme Lite", "Acme Ltd.", "Released Version", "AcmeLite", "AcmeLite", "FALSE",
             [("Acme Lite", LITE), ("Extras", "extras.txt")],
             [("Acme Lite", "acmeui.exe"), ("Extras\\Notes", "extras.txt")])
open(os.path.join(here, "reg-lite.ini"), "wb").write(lite)
