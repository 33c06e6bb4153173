#include "install/icon_description.h"

#include <json/json.h>

#include <exception>
#include <memory>

#include "install/install_logic.h"
#include "stats/beacons.h"

bool ParseIconDescription(std::string_view reply, IconDescription& out) {
    const std::string object = CutJsonObject(reply);
    if (object.empty()) return false;
    Json::Value root;
    Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    // The reader throws on input nested deeper than it allows: a reply is
    // the portal's, so that is a description we cannot read, not a crash.
    try {
        if (!reader->parse(object.data(), object.data() + object.size(), &root, &errors) || !root.isObject())
            return false;
    } catch (const std::exception&) {
        return false;
    }
    for (const char* member : {"iconUrl", "iconName", "time"})
        if (!root.isMember(member) || !root[member].isString()) return false;

    out.url = Utf8ToUtf16(root["iconUrl"].asString());
    out.name = Utf8ToUtf16(root["iconName"].asString());
    out.time = Utf8ToUtf16(root["time"].asString());
    if (out.url.size() > 255) out.url.resize(255);
    if (out.time.size() > 63) out.time.resize(63);
    return true;
}
