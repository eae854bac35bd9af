#pragma once
// The game's classes that are made by name (the storyboard's scene controllers).

namespace game {

// Registers every game class with platform::runtime. The app and the tests call it once
// before loading the storyboard.
void registerClasses();

}  // namespace game
