#pragma once
// MergeNode: merges one XML element tree into another by element name.
//
// Attributes of source are copied into target (existing ones replaced only
// with overwrite); source's child elements are matched to target's first
// child of the same name, and a child target lacks is appended as a full copy
// (and from then on every later sibling is merged with addMissing). A text
// element's text is copied only with overwrite. Whatever exists only in
// target stays. LoadConfig merges the built-in default into the user's
// document with overwrite false, addMissing true: user values win, missing
// elements and attributes get their defaults.
#include <pugixml.hpp>

namespace tarnix {

// Either node null: nothing happens.
void MergeNode(pugi::xml_node source, pugi::xml_node target, bool overwrite, bool addMissing);

// An element whose content is text only (no child elements, some text).
bool IsTextElement(pugi::xml_node node);

}  // namespace tarnix
