#include "sdk/tern/AppCommunicate.h"

#include "sdk/tern/TernApiUtil.h"

namespace {

using platform::Data;
using platform::Dictionary;
using platform::Value;
using platform::ui::Pasteboard;

const char kType[] = "content";

std::shared_ptr<Pasteboard> persistentNamed(const std::string& name) {
    auto board = Pasteboard::pasteboardWithName(name, true);
    if (board) board->setPersistent(true);
    return board;
}

// Decodes the board's records; empties the board once decoding succeeded.
std::optional<Dictionary> takeAll(const std::shared_ptr<Pasteboard>& board) {
    if (!board) return std::nullopt;
    auto plist = TernApiUtil::propertyListFromData(board->dataForPasteboardType(kType));
    if (!plist) return std::nullopt;
    board->setDataForPasteboardType(Data(), kType);
    if (!plist->isDictionary()) return std::nullopt;
    return *plist->dictionary();
}

std::optional<Dictionary> entryOf(const std::optional<Dictionary>& all, const std::string& appID) {
    if (!all) return std::nullopt;
    auto it = all->find(appID);
    if (it == all->end() || !it->second.isDictionary()) return std::nullopt;
    return *it->second.dictionary();
}

bool store(const std::shared_ptr<Pasteboard>& board, const Dictionary& all) {
    auto bytes = TernApiUtil::dataFromPropertyList(Value(all));
    if (!bytes || !board) return false;
    board->setDataForPasteboardType(*bytes, kType);
    return true;
}

}  // namespace

std::string AppCommunicate::getDataPasteboardName() {
    return "tern_data";
}

std::string AppCommunicate::getFilePasteboardName() {
    return "tern_file";
}

std::shared_ptr<Pasteboard> AppCommunicate::getDataPasteboard() {
    return persistentNamed(getDataPasteboardName());
}

std::shared_ptr<Pasteboard> AppCommunicate::getFilePasteboard() {
    return persistentNamed(getFilePasteboardName());
}

std::shared_ptr<Pasteboard> AppCommunicate::getDataPasteboardForiOS7Plus() {
    return Pasteboard::generalPasteboard();
}

std::optional<Dictionary> AppCommunicate::propertyListForAllApp() {
    return takeAll(getDataPasteboard());
}

std::optional<Dictionary> AppCommunicate::propertyListForAllAppForiOS7Plus() {
    return takeAll(getDataPasteboardForiOS7Plus());
}

std::optional<Dictionary> AppCommunicate::propertyListForAppID(const std::string& appID) {
    return entryOf(propertyListForAllApp(), appID);
}

std::optional<Dictionary> AppCommunicate::propertyListForAppIDForiOS7Plus(
    const std::string& appID) {
    return entryOf(propertyListForAllAppForiOS7Plus(), appID);
}

bool AppCommunicate::setPropertyListForAppID(const Dictionary& plist, const std::string& appID) {
    Dictionary all = propertyListForAllApp().value_or(Dictionary{});
    all[appID] = Value(plist);
    return store(getDataPasteboard(), all);
}

bool AppCommunicate::setPropertyListForiOS7PlusForAppID(const Dictionary& plist,
                                                        const std::string& appID) {
    return store(getDataPasteboardForiOS7Plus(), Dictionary{{appID, Value(plist)}});
}

void AppCommunicate::setFileDataForAppID(const TernBytes& data, const std::string&) {
    if (auto board = getFilePasteboard())
        board->setDataForPasteboardType(data.value_or(Data()), kType);
}

TernBytes AppCommunicate::fileDataForAppID(const std::string&) {
    auto board = getFilePasteboard();
    if (!board) return std::nullopt;
    TernBytes data = board->dataForPasteboardType(kType);
    board->setDataForPasteboardType(Data(), kType);
    return data;
}

bool AppCommunicate::setAppCommunicateDataForAppID(const std::shared_ptr<AppCommunicateData>& data,
                                                   const std::optional<std::string>& appID) {
    if (!data || !appID || !data->propertList()) return false;
    if (TernApiUtil::isiOS7plus()) return setAppCommunicateDataForiOS7PlusForAppID(data, *appID);
    if (!setPropertyListForAppID(*data->propertList(), *appID)) return false;
    setFileDataForAppID(data->fileData, *appID);
    return true;
}

bool AppCommunicate::setAppCommunicateDataForiOS7PlusForAppID(
    const std::shared_ptr<AppCommunicateData>& data,
    const std::string& appID) {
    if (!data || !data->propertList()) return false;
    return setPropertyListForiOS7PlusForAppID(*data->propertList(), appID);
}

std::shared_ptr<AppCommunicateData> AppCommunicate::appCommunicateDataForAppID(
    const std::optional<std::string>& appID) {
    if (!appID) return nullptr;
    if (TernApiUtil::isiOS7plus()) return appCommunicateDataForAppIDForiOS7Plus(*appID);
    auto entry = propertyListForAppID(*appID);
    if (!entry) return nullptr;
    auto record = AppCommunicateData::createWithPropertList(Value(*entry));
    if (!record) return nullptr;
    record->fileData = fileDataForAppID(*appID);
    return record;
}

std::shared_ptr<AppCommunicateData> AppCommunicate::appCommunicateDataForAppIDForiOS7Plus(
    const std::string& appID) {
    auto entry = propertyListForAppIDForiOS7Plus(appID);
    if (!entry) return nullptr;
    auto record = AppCommunicateData::createWithPropertList(Value(*entry));
    if (!record) return nullptr;
    auto it = entry->find("fileData");
    if (it != entry->end() && it->second.isData()) record->fileData = *it->second.data();
    return record;
}
