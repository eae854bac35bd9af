#include "game/screens/GameClasses.h"

#include <memory>

#include "game/screens/QenGameStoryViewController.h"
#include "game/screens/QenHelpViewController.h"
#include "game/screens/QenHouseListTableViewController.h"
#include "game/screens/QenHouseSellerTableViewCell.h"
#include "game/screens/QenHouseSellerViewController.h"
#include "game/screens/QenMainViewController.h"
#include "game/screens/QenRecordTableViewCell.h"
#include "game/screens/QenRecordViewController.h"
#include "platform/runtime/Runtime.h"

namespace game {

void registerClasses() {
    platform::runtime::registerClass(QenMainViewController::kClassName,
                                     [] { return std::make_shared<QenMainViewController>(); });
    platform::runtime::registerClass(QenGameStoryViewController::kClassName,
                                     [] { return std::make_shared<QenGameStoryViewController>(); });
    platform::runtime::registerClass(QenHelpViewController::kClassName,
                                     [] { return std::make_shared<QenHelpViewController>(); });
    platform::runtime::registerClass(QenRecordViewController::kClassName,
                                     [] { return std::make_shared<QenRecordViewController>(); });
    platform::runtime::registerClass(QenRecordTableViewCell::kClassName,
                                     [] { return std::make_shared<QenRecordTableViewCell>(); });
    platform::runtime::registerClass(QenHouseListTableViewController::kClassName, [] {
        return std::make_shared<QenHouseListTableViewController>();
    });
    platform::runtime::registerClass(QenHouseSellerViewController::kClassName, [] {
        return std::make_shared<QenHouseSellerViewController>();
    });
    platform::runtime::registerClass(QenHouseSellerTableViewCell::kClassName, [] {
        return std::make_shared<QenHouseSellerTableViewCell>();
    });
}

}  // namespace game
