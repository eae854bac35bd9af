#include "game/screens/QenHouseSellerTableViewCell.h"

QenHouseSellerTableViewCell::QenHouseSellerTableViewCell() {
    bindOutlet("houseimg", &houseimg);
    bindOutlet("housename", &housename);
    bindOutlet("houseprice", &houseprice);
    bindOutlet("housedes", &housedes);
    bindOutlet("firstbuygift_title", &firstbuygift_title);
    bindOutlet("firstbuygift", &firstbuygift);
    bindOutlet("selimg", &selimg);
}
