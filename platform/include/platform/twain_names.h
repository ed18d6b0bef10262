// Readable names of TWAIN triplets for the journals of the data source manager and the stand-in data
// source ("CONTROL/IDENTITY/OPENDS"); a number stands for a value without a name here.
#pragma once

#include <cstdio>
#include <string>

#include "win/twain.h"

namespace platform::twain {

inline std::string tripletName(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg) {
    auto hex = [](unsigned value) {
        char text[16];
        snprintf(text, sizeof text, "0x%X", value);
        return std::string(text);
    };
    std::string group = dg == DG_CONTROL ? "CONTROL" : dg == DG_IMAGE ? "IMAGE" : hex(dg);
    std::string data;
    switch (dat) {
    case DAT_CAPABILITY: data = "CAPABILITY"; break;
    case DAT_IDENTITY: data = "IDENTITY"; break;
    case DAT_PARENT: data = "PARENT"; break;
    case DAT_PENDINGXFERS: data = "PENDINGXFERS"; break;
    case DAT_SETUPMEMXFER: data = "SETUPMEMXFER"; break;
    case DAT_STATUS: data = "STATUS"; break;
    case DAT_USERINTERFACE: data = "USERINTERFACE"; break;
    case DAT_CALLBACK: data = "CALLBACK"; break;
    case DAT_IMAGEINFO: data = "IMAGEINFO"; break;
    case DAT_IMAGEMEMXFER: data = "IMAGEMEMXFER"; break;
    case DAT_IMAGENATIVEXFER: data = "IMAGENATIVEXFER"; break;
    default: data = hex(dat);
    }
    std::string message;
    switch (msg) {
    case MSG_GET: message = "GET"; break;
    case MSG_GETCURRENT: message = "GETCURRENT"; break;
    case MSG_GETDEFAULT: message = "GETDEFAULT"; break;
    case MSG_GETFIRST: message = "GETFIRST"; break;
    case MSG_GETNEXT: message = "GETNEXT"; break;
    case MSG_SET: message = "SET"; break;
    case MSG_RESET: message = "RESET"; break;
    case MSG_OPENDSM: message = "OPENDSM"; break;
    case MSG_CLOSEDSM: message = "CLOSEDSM"; break;
    case MSG_OPENDS: message = "OPENDS"; break;
    case MSG_CLOSEDS: message = "CLOSEDS"; break;
    case MSG_USERSELECT: message = "USERSELECT"; break;
    case MSG_DISABLEDS: message = "DISABLEDS"; break;
    case MSG_ENABLEDS: message = "ENABLEDS"; break;
    case MSG_ENDXFER: message = "ENDXFER"; break;
    case MSG_REGISTER_CALLBACK: message = "REGISTER_CALLBACK"; break;
    default: message = hex(msg);
    }
    return group + "/" + data + "/" + message;
}

}  // namespace platform::twain
