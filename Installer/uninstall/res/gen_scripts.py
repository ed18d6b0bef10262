#!/usr/bin/env python3
# Writes the uninstaller's resource scripts: the program's own (Simplified Chinese), the language
# libraries "ZDUnsXXXX.dll" and the bitmap library, from one layout and a table of texts per language.
# Run it after changing the layout or a text; the scripts it writes are kept in the tree. The pictures
# they name are drawn at build time (setup-art) beside the scripts' copies in the build folder.
import os

HERE = os.path.dirname(os.path.abspath(__file__))

# The texts of the program's own table, as the program carries them.
OWN = {
    156: "Printer xxxx",
    160: "退出",
    168: "本应用程序不支持Windows 98。",
    176: "删除一台",
    177: "全部删除",
    194: "打印机名称",
    220: "完成",
    222: "为了不影响您下次使用，完成Printer xxxx系列驱动软件的卸载需要重启电脑。\\n\\n您确定要执行重启电脑的操作吗？",
    235: "端口",
    239: "欢迎您使用Printer xxxx系列打印机卸载向导，要删除一台打印机请在列表中选择一台后单击“删除一台”，删除全部驱动和打印机请直接单击“全部删除”。",
    243: "扫描应用软件",
    244: "扫描程序正在使用，无法执行卸载。",
    302: "Printer xxxx系列激光打印机正在打印，请完成打印后再卸载驱动。",
    308: "权限不足，请以管理员权限卸载Printer xxxx系列打印机。",
    309: "您确定要退出Printer xxxx系列驱动卸载向导吗？",
    310: "卸载正在进行中，请您等待...",
    311: "已成功卸载Printer xxxx系列打印机驱动，感谢您的使用。",
    # A run that could not remove everything says so instead of 311.
    312: "部分项目未能卸载，请再次运行卸载程序以完成卸载。",
}

LIBRARIES = {
    "zhcn": {**OWN, 156: "%Text%", 309: "您确定要退出%Text%系列驱动卸载向导吗？"},
    "enus": {
        156: "%Text%",
        160: "Exit",
        168: "This program does not support Windows 98.",
        176: "Delete one",
        177: "Delete all",
        194: "Printer name",
        220: "Finish",
        222: "Your computer must be restarted to finish uninstalling the %Text% driver software.\\n\\nDo you want to restart the computer now?",
        235: "Port",
        239: "Welcome to the %Text% uninstall wizard. To delete one printer, select it in the list and click \\u201cDelete one\\u201d; to delete all the drivers and printers, click \\u201cDelete all\\u201d.",
        243: "Scan application software",
        244: "The scan program is in use; the software cannot be uninstalled now.",
        302: "A %Text% printer is printing. Please uninstall the driver after printing has finished.",
        308: "You do not have sufficient rights. Please uninstall the %Text% printers as an administrator.",
        309: "Do you really want to quit the %Text% uninstall wizard?",
        310: "Uninstalling, please wait...",
        311: "The %Text% printer driver was uninstalled successfully. Thank you.",
        312: "Some items could not be removed. Run the uninstaller again to finish the job.",
    },
    "ar": {
        156: "%Text%",
        160: "خروج",
        168: "هذا البرنامج لا يدعم Windows 98.",
        176: "حذف طابعة واحدة",
        177: "حذف الكل",
        194: "اسم الطابعة",
        220: "إنهاء",
        222: "يجب إعادة تشغيل الكمبيوتر لإكمال إزالة برنامج تشغيل %Text%.\\n\\nهل تريد إعادة تشغيل الكمبيوتر الآن؟",
        235: "المنفذ",
        239: "مرحبًا بك في معالج إزالة %Text%. لحذف طابعة واحدة، حددها في القائمة ثم انقر على \\u201cحذف طابعة واحدة\\u201d؛ ولحذف كل برامج التشغيل والطابعات، انقر على \\u201cحذف الكل\\u201d.",
        243: "برنامج المسح الضوئي",
        244: "برنامج المسح الضوئي قيد الاستخدام؛ لا يمكن إزالة البرنامج الآن.",
        302: "طابعة %Text% تطبع الآن. يرجى إزالة برنامج التشغيل بعد انتهاء الطباعة.",
        308: "ليست لديك صلاحيات كافية. يرجى إزالة طابعات %Text% بصلاحيات المسؤول.",
        309: "هل تريد حقًا إنهاء معالج إزالة %Text%؟",
        310: "جارٍ الإزالة، يرجى الانتظار...",
        311: "تمت إزالة برنامج تشغيل طابعة %Text% بنجاح. شكرًا لك.",
        312: "تعذرت إزالة بعض العناصر. شغّل برنامج الإزالة مرة أخرى لإكمال المهمة.",
    },
}

# The page bitmaps: backgrounds 147 (progress and completion) and 153 (list), button skins 149 to 152.
BITMAPS = """BITMAP 147 "setup-page.bmp"
BITMAP 149 "setup-skin-normal.bmp"
BITMAP 150 "setup-skin-down.bmp"
BITMAP 151 "setup-skin-over.bmp"
BITMAP 152 "setup-skin-disabled.bmp"
BITMAP 153 "setup-list.bmp"
"""

SKIN = "WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW"


def dialogs(t, rtl):
    mirror = "    RTL\n" if rtl else ""
    return f"""DIALOG 141, 0, 0, 300, 200
    TITLE "Printer Series"
    CLASS "QELMAR SFP WNDCLASS_UNI"
    STYLE WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME
{mirror}BEGIN
END

DIALOG 135, 0, 0, 300, 200
    STYLE WS_CHILD
{mirror}BEGIN
    CONTROL "", 1046, STATIC, WS_CHILD | WS_VISIBLE, 12, 10, 276, 40
    CONTROL "", 1052, SysListView32, WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 12, 54, 276, 108
    CONTROL "{t[176]}", 1051, BUTTON, {SKIN}, 52, 172, 60, 18
    CONTROL "{t[177]}", 1, BUTTON, {SKIN}, 120, 172, 60, 18
    CONTROL "{t[160]}", 2, BUTTON, {SKIN}, 188, 172, 60, 18
END

DIALOG 136, 0, 0, 300, 200
    STYLE WS_CHILD
{mirror}BEGIN
    CONTROL "", 1047, STATIC, WS_CHILD | WS_VISIBLE, 20, 76, 260, 20
    CONTROL "", 1027, msctls_progress32, WS_CHILD | WS_VISIBLE | WS_BORDER, 20, 100, 260, 12
END

DIALOG 137, 0, 0, 300, 200
    STYLE WS_CHILD
{mirror}BEGIN
    CONTROL "", 1048, STATIC, WS_CHILD | WS_VISIBLE, 20, 60, 260, 60
    CONTROL "{t[220]}", 1, BUTTON, {SKIN}, 120, 172, 60, 18
END
"""


def strings(t):
    return "STRINGTABLE\nBEGIN\n" + "".join(f'    {i} "{t[i]}"\n' for i in sorted(t)) + "END\n"


def write(name, text):
    with open(os.path.join(HERE, name), "w", encoding="utf-8") as f:
        f.write(text)


write("setup.rc", "// The uninstaller's own resources: the Simplified Chinese texts, the main window and its pages,\n"
      "// and the program's icon. Written by gen_scripts.py.\n" + strings(OWN) + "\n" + dialogs(OWN, False)
      + '\nICON 128 "setup-icon.bmp"\n')
for code, texts in LIBRARIES.items():
    rtl = code == "ar"
    head = f"// The uninstaller's language library ZDUns{code}.dll. Written by gen_scripts.py.\n"
    body = ("RTL\n\n" if rtl else "") + strings(texts) + "\n" + dialogs(texts, rtl)
    if rtl:
        body += "\n// Right-to-left languages carry the page bitmaps themselves.\n" + BITMAPS
    write(f"ZDUns{code}.rc", head + body)
write("ZDUnsbmp.rc", "// The uninstaller's bitmap library: the page bitmaps for the left-to-right languages.\n"
      "// Written by gen_scripts.py.\n" + BITMAPS)
