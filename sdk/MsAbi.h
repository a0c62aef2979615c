// How the host's interfaces keep the platform compiler's table layout when g++ builds them.
//
// The host is built by the platform's own compiler, and a plug-in's objects and the host's meet
// only through tables of virtual operations. Under mingw-w64's g++ two things differ from the
// platform compiler and are mended here, once:
//
//  - A virtual destructor takes one slot there, not two: the deleting destructor, a thiscall with
//    one unsigned flags argument (bit 0: free the memory), which returns the object's address.
//    MSABI_DELETING_DESTRUCTOR stands where the host declares its destructor; the class declares
//    its real (g++) virtual destructor after its last host slot, so that g++'s own two slots come
//    after everything the host knows of.
//  - A member function that returns a class returns it through a hidden pointer (the first stack
//    argument, popped by the callee, and handed back in EAX), where g++ uses EDX:EAX.
//    MSABI_CLASS_RESULT(Type, Name) stands in the host's slot and forwards to the ordinary
//    virtual Name(), declared after the host slots; MsAbiCall reaches the slot from a caller that
//    may hold an object of the host's.
//
// Overloaded virtual functions are grouped by name there, the last declared first; the headers
// declare them in that order. Natively (host and plug-in from one compiler) the macros are empty.
#pragma once

#if defined(_WIN32) && !defined(_MSC_VER) && !defined(KCF_PLAIN_CXX_LAYOUT)
#define KCF_MSABI 1
#else
#define KCF_MSABI 0
#endif

#if KCF_MSABI
#define MSABI_THISCALL __attribute__((thiscall))

namespace MsAbi {
// The deleting destructor: destroys through the class's own virtual destructor, frees the
// memory when asked (flags bit 0), and answers the object's address as the host expects.
template <class T>
void* DeleteSelf(T* self, unsigned flags)
{
    if (flags & 1u)
        delete self;
    else
        self->~T();
    return self;
}
}  // namespace MsAbi

#define MSABI_DELETING_DESTRUCTOR(Class)                                 \
    virtual void* MSABI_THISCALL MsAbiDeletingDestructor(unsigned flags) \
    {                                                                    \
        return MsAbi::DeleteSelf<Class>(this, flags);                    \
    }

#define MSABI_CLASS_RESULT(Type, Name)                          \
    virtual Type* MSABI_THISCALL MsAbiSlot_##Name(Type* result) \
    {                                                           \
        *result = Name();                                       \
        return result;                                          \
    }

// Calls a class-result operation through its host slot: right for the host's objects and ours.
#define MsAbiCall(Type, object, Name) \
    ([](auto* o) { Type r; o->MsAbiSlot_##Name(&r); return r; }(object))

#else
#define MSABI_DELETING_DESTRUCTOR(Class)
#define MSABI_CLASS_RESULT(Type, Name)
#define MsAbiCall(Type, object, Name) ((object)->Name())
#endif
