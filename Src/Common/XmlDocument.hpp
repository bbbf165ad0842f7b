// The module's XML documents: rapidxml's, with the further blocks of their memory pool drawn from
// the platform allocator like the rest of the module's memory.
#pragma once

#include <cstddef>
#include <new>

#include "rapidxml.hpp"

#include "GSRoot/MemoryManager.hpp"

namespace Quillmere {

class XmlDocument : public rapidxml::xml_document<char> {
public:
    XmlDocument() { set_allocator(&AllocateBlock, &FreeBlock); }

private:
    static void* AllocateBlock(std::size_t bytes)
    {
        void* block = GS::MemoryManager::Allocate(bytes);
        if (block == nullptr)
            throw std::bad_alloc();
        return block;
    }
    static void FreeBlock(void* block) { GS::MemoryManager::Free(block); }
};

}  // namespace Quillmere
