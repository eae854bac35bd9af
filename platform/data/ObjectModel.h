#pragma once
// The object model: the entities an object store keeps and their typed attributes, described in
// code. A model is built once, then handed to a StoreCoordinator, which makes one table per
// entity and one column per attribute; after that it is read only and may be shared by threads.

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"

namespace platform::data {

enum class AttributeType {
    Integer32,      // Value integer (bools and reals convert)
    Integer64,      // Value integer
    Double,         // Value real
    Boolean,        // Value bool
    String,         // Value text
    Date,           // Value date
    Binary,         // Value data
    Transformable,  // any Value, kept as a keyed archive
};

struct Attribute {
    std::string name;
    AttributeType type = AttributeType::String;
    bool optional = true;  // a non-optional attribute must hold a value when saved
    Value defaultValue;    // what a new object holds; null for none
};

struct Entity {
    std::string name;
    std::vector<Attribute> attributes;  // in the order they were added

    const Attribute* attribute(const std::string& name) const;
};

class ObjectModel {
  public:
    // Entity and attribute names are unique; a repeated name aborts (a broken model).
    void addEntity(Entity entity);

    const Entity* entity(const std::string& name) const;
    const std::vector<Entity>& entities() const { return entities_; }

    // A text that changes whenever an entity, an attribute, a type or an optionality changes:
    // a store made for another model is refused by it.
    std::string fingerprint() const;

  private:
    std::vector<Entity> entities_;
};

}  // namespace platform::data
