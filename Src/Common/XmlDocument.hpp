// The module's XML documents: rapidxml's, with the further blocks of their memory pool drawn from
// the platform allocator like the rest of the module's memory.
#pragma once

#include <cstddef>
#include <new>
#include <string_view>

#include "rapidxml.hpp"

#include "GSRoot/MemoryManager.hpp"

namespace Quillmere {

using XmlNode = rapidxml::xml_node<char>;
using XmlAttribute = rapidxml::xml_attribute<char>;

// A node's or an attribute's name and value as the parser gives them (with non-destructive parsing
// they end at their size, not at a NUL).
inline std::string_view NameOf(const rapidxml::xml_base<char>* item)
{
    return std::string_view(item->name(), item->name_size());
}
inline std::string_view ValueOf(const rapidxml::xml_base<char>* item)
{
    return std::string_view(item->value(), item->value_size());
}

class XmlDocument : public rapidxml::xml_document<char> {
public:
    XmlDocument() { set_allocator(&AllocateBlock, &GS::MemoryManager::Free); }

private:
    static void* AllocateBlock(std::size_t bytes)
    {
        void* block = GS::MemoryManager::Allocate(bytes);
        if (block == nullptr)
            throw std::bad_alloc();
        return block;
    }
};

}  // namespace Quillmere
