#!/usr/bin/env python3
# Writes the wizard's resource scripts: the program's own (Simplified Chinese, with the pictures) and
# the language libraries, from one layout and a table of texts per language. Run it after changing
# the layout or a text; the scripts it writes are kept in the tree.
import os

HERE = os.path.dirname(os.path.abspath(__file__))

TEXTS = {
    "zhcn": {
        "title": "无线网络配置", "heading": "连接失败", "pages": "显示向导页面",
        "print": "打印无线网络信息页", "refresh": "刷新", "back": "上一步", "next": "下一步",
        "cancel": "取消", "finish": "完成",
        "pick": "请从下面列表中选择相应的网络名（SSID），然后单击“下一步”。",
        "printer_list": "您可以点击“打印无线网络信息页”，打印打印机搜索到的无线网络列表。",
        "manual": "手动输入网络名", "ssid": "网络名称 (SSID):",
        "verify": "请验证无线凭证，然后单击“下一步”。", "security": "安全模式:", "key": "密码:",
        "show_key": "显示密码", "progress": "正在配置打印机的无线网络，请稍候……", "outcome": "设置WIFI成功",
        134: "打印机使用提供的无线凭证能够成功连接到无线网络。",
        135: "打印机无法使用提供的无线凭证连接到无线网络。\\n\\u000D要重新输入，请点击“上一步”。",
        137: "是否确认要取消？", 138: "请使用提供的USB电缆连接打印机与计算机。", 139: "无线连接失败",
        140: "无线连接成功",
        141: "打印机使用提供的无线凭证能够成功连接到无线网络。但是，此计算机无法与打印机进行通信。",
        150: "网络名", 151: "安全模式", 152: "信号强度", 156: "无",
        158: "打印端口被占用，无法打印无线网络信息页", 159: "打印端口被占用，无法配置打印机",
    },
    "enus": {
        "title": "Wi-Fi Configuration", "heading": "Connection failed", "pages": "Wizard pages",
        "print": "Print Wi-Fi information page", "refresh": "Refresh", "back": "< Back", "next": "Next >",
        "cancel": "Cancel", "finish": "Finish",
        "pick": "Choose your network name (SSID) in the list below, then click Next.",
        "printer_list": "Click Print Wi-Fi information page to print the list of networks the printer can see.",
        "manual": "Enter the network name myself", "ssid": "Network name (SSID):",
        "verify": "Check the wireless settings, then click Next.", "security": "Security:", "key": "Key:",
        "show_key": "Show the key", "progress": "Setting up the printer's wireless connection. Please wait...",
        "outcome": "Wi-Fi set up",
        134: "The printer joined the wireless network with these settings.",
        135: "The printer could not join the wireless network with these settings.\\n\\u000DTo enter them again, click Back.",
        137: "Do you really want to cancel?", 138: "Connect the printer to this computer with the USB cable supplied.",
        139: "Wireless connection failed", 140: "Wireless connection succeeded",
        141: "The printer joined the wireless network with these settings, but this computer cannot reach it.",
        150: "Network name", 151: "Security", 152: "Signal strength", 156: "None",
        158: "The print port is busy: the Wi-Fi information page cannot be printed.",
        159: "The print port is busy: the printer cannot be set up now.",
    },
}

VIS = "WS_CHILD | WS_VISIBLE"
PAGE_STYLE = "WS_CHILD | DS_CONTROL"


def script(code, own):
    t = TEXTS[code]
    q = lambda s: '"' + s.replace('"', '\\"') + '"' if '\\' not in s else '"' + s + '"'
    out = []
    if own:
        out.append("// The wireless set-up wizard's own resources: its Simplified Chinese texts and templates,")
        out.append("// used when no language library loads, and its pictures (never taken from a library).")
    else:
        out.append(f"// The wireless set-up wizard's language library ({code}): its templates and texts.")
    out.append("")
    out.append("STRINGTABLE")
    out.append("BEGIN")
    for sid in sorted(k for k in t if isinstance(k, int)):
        out.append(f"    {sid} {q(t[sid])}")
    out.append("END")
    out.append("")
    out.append("// The wizard's frame: banner, heading, the page area and the row of buttons.")
    out.append("DIALOG 140, 0, 0, 313, 249")
    out.append(f"    TITLE {q(t['title'])}")
    out.append('    FONT 8, "MS Shell Dlg"')
    out.append("    STYLE WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME")
    out.append("    EXSTYLE WS_EX_APPWINDOW")
    out.append("BEGIN")
    rows = [
        ('""', 1013, "STATIC", f"{VIS} | SS_BITMAP", "0, 0, 313, 43"),
        (q(t["heading"]), 1024, "STATIC", f"{VIS} | SS_RIGHT", "8, 7, 295, 20"),
        ('""', -1, "STATIC", f"{VIS} | SS_ETCHEDHORZ", "0, 43, 313, 1"),
        (q(t["pages"]), 1017, "BUTTON", "WS_CHILD | BS_GROUPBOX", "0, 48, 313, 166"),
        ('""', -1, "STATIC", f"{VIS} | SS_ETCHEDHORZ", "0, 218, 313, 1"),
        (q(t["print"]), 1022, "BUTTON", f"{VIS} | WS_TABSTOP | BS_PUSHBUTTON", "7, 228, 103, 14"),
        (q(t["refresh"]), 1023, "BUTTON", f"{VIS} | WS_TABSTOP | BS_PUSHBUTTON", "7, 228, 59, 14"),
        (q(t["back"]), 1018, "BUTTON", f"{VIS} | WS_TABSTOP | BS_PUSHBUTTON", "137, 228, 50, 14"),
        (q(t["next"]), 1020, "BUTTON", f"{VIS} | WS_TABSTOP | BS_PUSHBUTTON", "191, 228, 50, 14"),
        (q(t["cancel"]), 1019, "BUTTON", f"{VIS} | WS_TABSTOP | BS_PUSHBUTTON", "254, 228, 50, 14"),
        (q(t["finish"]), 1021, "BUTTON", f"{VIS} | WS_TABSTOP | BS_PUSHBUTTON", "254, 228, 50, 14"),
    ]
    out += [f"    CONTROL {a}, {b}, {c}, {d}, {e}" for a, b, c, d, e in rows]
    out.append("END")

    def page(pid, cx, cy, comment, rows):
        out.append("")
        out.append(f"// {comment}")
        out.append(f"DIALOG {pid}, 0, 0, {cx}, {cy}")
        out.append('    FONT 8, "MS Shell Dlg"')
        out.append(f"    STYLE {PAGE_STYLE}")
        out.append("BEGIN")
        out.extend(f"    CONTROL {a}, {b}, {c}, {d}, {e}" for a, b, c, d, e in rows)
        out.append("END")

    page(141, 309, 166, "The network list page.", [
        (q(t["pick"]), 1027, "STATIC", VIS, "7, 7, 295, 18"),
        ('""', 1000, "SysListView32",
         f"{VIS} | WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS", "7, 27, 295, 108"),
        (q(t["printer_list"]), 1028, "STATIC", "WS_CHILD", "7, 7, 295, 18"),
        (q(t["manual"]), 1026, "BUTTON", f"{VIS} | WS_TABSTOP | BS_AUTOCHECKBOX", "7, 140, 150, 10"),
        (q(t["ssid"]), 1029, "STATIC", VIS, "7, 30, 90, 10"),
        ('""', 1002, "EDIT", f"{VIS} | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL", "100, 28, 150, 12"),
    ])
    page(129, 311, 173, "The network details page.", [
        (q(t["verify"]), -1, "STATIC", VIS, "7, 7, 297, 18"),
        (q(t["ssid"]), -1, "STATIC", VIS, "20, 38, 90, 10"),
        ('""', 1002, "EDIT", f"{VIS} | WS_BORDER | ES_READONLY | ES_AUTOHSCROLL", "115, 36, 150, 12"),
        (q(t["security"]), -1, "STATIC", VIS, "20, 60, 90, 10"),
        ('""', 1009, "COMBOBOX", f"{VIS} | WS_TABSTOP | CBS_DROPDOWNLIST", "115, 58, 150, 60"),
        (q(t["key"]), 1025, "STATIC", VIS, "20, 82, 90, 10"),
        ('""', 1003, "EDIT", f"{VIS} | WS_TABSTOP | WS_BORDER | ES_PASSWORD | ES_AUTOHSCROLL", "115, 80, 150, 12"),
        (q(t["show_key"]), 1001, "BUTTON", f"{VIS} | WS_TABSTOP | BS_AUTOCHECKBOX", "115, 98, 150, 10"),
    ])
    page(131, 311, 173, "The progress page.", [
        (q(t["progress"]), -1, "STATIC", VIS, "7, 40, 297, 18"),
        ('""', 1008, "msctls_progress32", f"{VIS} | WS_BORDER", "20, 70, 270, 12"),
    ])
    page(130, 309, 166, "The outcome page.", [
        (q(t["outcome"]), 1010, "STATIC", VIS, "8, 15, 291, 25"),
        ('""', 1021, "STATIC", f"{VIS} | SS_BITMAP", "0, 44, 317, 78"),
    ])
    if own:
        out.append("")
        out.append('BITMAP 131 "pictures/banner.bmp"')
        out.append('BITMAP 147 "pictures/banner_rtl.bmp"')
        out.append('BITMAP 138 "pictures/usb_cable.bmp"')
    return "\n".join(out) + "\n"


if __name__ == "__main__":
    with open(os.path.join(HERE, "caspen.rc"), "w", encoding="utf-8") as f:
        f.write(script("zhcn", True))
    for code in TEXTS:
        with open(os.path.join(HERE, f"Velrin{code}.rc"), "w", encoding="utf-8") as f:
            f.write(script(code, False))
