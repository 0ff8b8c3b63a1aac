#include "app/config/XMLMarge.h"

namespace tarnix {

bool IsTextElement(pugi::xml_node node) {
  if (node.type() != pugi::node_element) return false;
  bool hasText = false;
  for (pugi::xml_node child : node.children()) {
    if (child.type() == pugi::node_element) return false;
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) hasText = true;
  }
  return hasText;
}

void MergeNode(pugi::xml_node source, pugi::xml_node target, bool overwrite, bool addMissing) {
  if (!source || !target) return;
  const bool sourceIsText = IsTextElement(source);
  if (overwrite && sourceIsText) target.text().set(source.text().get());

  for (pugi::xml_attribute attribute : source.attributes()) {
    pugi::xml_attribute existing = target.attribute(attribute.name());
    if (existing) {
      if (overwrite) existing.set_value(attribute.value());
    } else if (addMissing) {
      target.append_copy(attribute);
    }
  }
  if (sourceIsText) return;

  bool add = addMissing;
  for (pugi::xml_node child : source.children()) {
    if (child.type() != pugi::node_element) continue;
    pugi::xml_node existing = target.child(child.name());
    if (!existing) {
      MergeNode(child, target.append_child(child.name()), true, true);
      add = true;
    } else {
      MergeNode(child, existing, overwrite, add);
    }
  }
}

}  // namespace tarnix
