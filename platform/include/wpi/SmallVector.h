// Growable array with the utility library's interface. The stand-in keeps its
// elements in a std::vector (reserved to the inline size) instead of inline storage.
#pragma once

#include <cstddef>
#include <vector>

namespace wpi {

template <typename T>
class SmallVectorImpl {
 public:
  using value_type = T;
  using iterator = T*;
  using const_iterator = const T*;
  using size_type = size_t;

  SmallVectorImpl(const SmallVectorImpl&) = default;
  SmallVectorImpl& operator=(const SmallVectorImpl&) = default;
  SmallVectorImpl(SmallVectorImpl&&) noexcept = default;
  SmallVectorImpl& operator=(SmallVectorImpl&&) noexcept = default;

  size_t size() const noexcept { return m_items.size(); }
  bool empty() const noexcept { return m_items.empty(); }
  size_t capacity() const noexcept { return m_items.capacity(); }
  T* data() noexcept { return m_items.data(); }
  const T* data() const noexcept { return m_items.data(); }
  T* begin() noexcept { return m_items.data(); }
  T* end() noexcept { return m_items.data() + m_items.size(); }
  const T* begin() const noexcept { return m_items.data(); }
  const T* end() const noexcept { return m_items.data() + m_items.size(); }
  T& operator[](size_t index) { return m_items[index]; }
  const T& operator[](size_t index) const { return m_items[index]; }
  T& back() { return m_items.back(); }
  const T& back() const { return m_items.back(); }

  void push_back(const T& item) { m_items.push_back(item); }
  void pop_back() { m_items.pop_back(); }
  void clear() noexcept { m_items.clear(); }
  void reserve(size_t count) { m_items.reserve(count); }
  void resize(size_t count) { m_items.resize(count); }
  template <typename It>
  void append(It first, It last) {
    m_items.insert(m_items.end(), first, last);
  }

 protected:
  SmallVectorImpl() = default;
  ~SmallVectorImpl() = default;

 private:
  std::vector<T> m_items;
};

template <typename T, unsigned N>
class SmallVector : public SmallVectorImpl<T> {
 public:
  SmallVector() { this->reserve(N); }
};

}  // namespace wpi
