#include "platform/data/ObjectModel.h"

#include <cstdio>
#include <cstdlib>

namespace platform::data {

const Attribute* Entity::attribute(const std::string& attributeName) const {
    for (const auto& a : attributes)
        if (a.name == attributeName) return &a;
    return nullptr;
}

void ObjectModel::addEntity(Entity entity) {
    if (this->entity(entity.name)) {
        std::fprintf(stderr, "ObjectModel: entity \"%s\" added twice\n", entity.name.c_str());
        std::abort();
    }
    for (size_t i = 0; i < entity.attributes.size(); ++i)
        for (size_t j = i + 1; j < entity.attributes.size(); ++j)
            if (entity.attributes[i].name == entity.attributes[j].name) {
                std::fprintf(stderr, "ObjectModel: attribute \"%s\" of \"%s\" added twice\n",
                             entity.attributes[i].name.c_str(), entity.name.c_str());
                std::abort();
            }
    entities_.push_back(std::move(entity));
}

const Entity* ObjectModel::entity(const std::string& name) const {
    for (const auto& e : entities_)
        if (e.name == name) return &e;
    return nullptr;
}

std::string ObjectModel::fingerprint() const {
    std::string text;
    for (const auto& e : entities_) {
        text += e.name + "{";
        for (const auto& a : e.attributes)
            text += a.name + ":" + std::to_string(static_cast<int>(a.type)) +
                    (a.optional ? "?" : "") + ";";
        text += "}";
    }
    return text;
}

}  // namespace platform::data
