// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <memory>

#include "sprites/Sprite.h"

namespace mv {

// A non-owning reference to a sprite of the engine. It reads as empty once
// the engine has collected the sprite, so a table slot or a "killed by"
// reference kept past the sprite's life never dangles.
template <class T>
class TSpriteRef {
 public:
  TSpriteRef() = default;
  TSpriteRef(T* sprite) { *this = sprite; }
  TSpriteRef& operator=(T* sprite) {
    Sprite_ = sprite;
    Token_ = sprite ? std::weak_ptr<char>(sprite->LifeToken) : std::weak_ptr<char>();
    return *this;
  }
  T* get() const { return Token_.expired() ? nullptr : Sprite_; }
  T* operator->() const { return get(); }
  explicit operator bool() const { return get() != nullptr; }
  // MarkDead when the sprite still exists.
  void MarkDead() const {
    if (T* s = get()) s->MarkDead();
  }
  void reset() { *this = nullptr; }

 private:
  T* Sprite_ = nullptr;
  std::weak_ptr<char> Token_;
};

}  // namespace mv
