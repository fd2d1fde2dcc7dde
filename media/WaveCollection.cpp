// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/WaveCollection.h"

#include <algorithm>
#include <cctype>

namespace mv {
namespace {

std::string Lower(const std::string& s) {
  std::string out = s;
  for (auto& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Same chain key as the picture lists: 16 x length plus, for two characters
// or more, the first and the second-to-last character.
uint8_t ChainOf(const std::string& lower) {
  unsigned h = unsigned(lower.size()) * 16;
  if (lower.size() >= 2)
    h += static_cast<unsigned char>(lower[0]) + static_cast<unsigned char>(lower[lower.size() - 2]);
  return uint8_t(h);
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

TWaveCollectionItem& TWaveCollection::Add() {
  Items_.push_back(std::make_unique<TWaveCollectionItem>());
  TWaveCollectionItem& item = *Items_.back();
  item.Mixer_ = Mixer_;
  return item;
}

void TWaveCollection::SetName(TWaveCollectionItem& item, const std::string& name) {
  auto& old_chain = Chains_[ChainOf(Lower(item.Name_))];
  old_chain.erase(std::remove(old_chain.begin(), old_chain.end(), &item), old_chain.end());
  item.Name_ = name;
  Chains_[ChainOf(Lower(name))].push_back(&item);  // back = newest
}

TWaveCollectionItem* TWaveCollection::FindOrNull(const std::string& name) {
  const auto& chain = Chains_[ChainOf(Lower(name))];
  for (auto it = chain.rbegin(); it != chain.rend(); ++it)
    if (SameName((*it)->Name_, name)) return *it;
  return nullptr;
}

TWaveCollectionItem& TWaveCollection::Find(const std::string& name) {
  if (auto* item = FindOrNull(name)) return *item;
  throw EWaveCollectionError("Wave '" + name + "' not found");
}

void TWaveCollection::Clear() {
  for (auto& chain : Chains_) chain.clear();
  Items_.clear();
}

}  // namespace mv
