// The uninstaller's "SetupCFG.xml", and the queries the removal asks of it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "SetupConfig.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::Input input;
    uninstall::SetupConfig config;
    if (!config.parse(std::string_view(reinterpret_cast<const char*>(data), size)).ok) return 0;
    uninstall::ConfigList list;
    (void)uninstall::ReadModelList(config);
    std::u16string text;
    (void)uninstall::ProductFolderPath(u"C:\\Program Files", MAX_PATH, text, config);
    (void)config.ReadConfigTextByAttr(u"/SERTUP_INFO/FaxName/FaxModel", u"Zandrel M2100", text);
    (void)config.ReadConfigTextByAttr(u"/SERTUP_INFO/SCANNERMENT/Element", u"Zandrel M2100", text);
    (void)config.ReadConfigNodeList(u"SERTUP_INFO/TwainFile/DstName", u"", list);
    (void)config.ReadConfigListByAttr(u"SERTUP_INFO/COPYFILES/*", u"Zandrel M2100", list);
    WCHAR buffer[64];
    (void)config.ReadConfigText(u"/SERTUP_INFO/FaxName", buffer, 64);
    return 0;
}
