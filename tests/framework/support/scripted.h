// Runs a framework dialog modally on the test's thread while a script acts on it from another
// thread, as a user would; a dialog the script leaves open is ended by the watchdog and reported.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "afx/afxwin.h"
#include "platform/dialogs.h"
#include "platform/resources.h"
#include "platform/testing/machine.h"
#include "rescomp/writer.h"
#include "support/dialog_script.h"

namespace framework_test {

namespace dlg = platform::dialogs;

// Writes a resource library onto the machine, loads it and makes it the framework's resource module.
inline HMODULE useResources(const platform::testing::Machine& machine, const platform::resources::ResourceFile& file,
                            const std::u16string& path = u"C:\\Program Files\\Test\\kelrtest.dll") {
    machine.writeFile(path, rescomp::writeResourceFile(file));
    HMODULE module = LoadLibraryW(path.c_str());
    AfxSetResourceHandle(module);
    return module;
}

class ScriptedDialogs : public ::testing::Test {
protected:
    platform::testing::Machine machine;
    test_support::UnscriptedDialogs unscripted;

    void TearDown() override {
        if (HINSTANCE resources = AfxGetResourceHandle(); resources != AfxGetInstanceHandle()) FreeLibrary(resources);
        AfxSetResourceHandle(nullptr);
        EXPECT_TRUE(unscripted.empty()) << "a dialog was left open: " << unscripted.size();
    }

    // DoModal of `dialog` here while `script` runs on another thread with the dialog's window.
    INT_PTR runModal(CDialog& dialog, const std::function<void(HWND)>& script) {
        return test_support::runScripted(dialog.m_nIDHelp, [&] { return dialog.DoModal(); }, script);
    }
};

}  // namespace framework_test
