#include "game/screens/QenRecordTableViewCell.h"

QenRecordTableViewCell::QenRecordTableViewCell() {
    bindOutlet("housename", &housename);
    bindOutlet("firstdate", &firstdate);
    bindOutlet("succnbr", &succnbr);
    bindOutlet("background", &background);
}
