// The host's classes as its own compiler sees them: plain C++ declarations, laid out by that compiler.
//
// Nothing here says where a slot goes. Destructors are virtual, class results come back by value
// and overloads stand in the order the host declares them; the Microsoft C++ ABI decides the rest.
#pragma once

#include "Runtime.h"

typedef unsigned long ULONG;
typedef unsigned long DWORD;
typedef unsigned short WORD;
typedef unsigned int UINT;
typedef int BOOL;
typedef ULONG SClass_ID;

struct BMM_Color_64 {
    unsigned short r, g, b, a;
};

class Class_ID {
public:
    Class_ID() : a_(0xFFFFFFFF), b_(0xFFFFFFFF) {}
    Class_ID(ULONG a, ULONG b) : a_(a), b_(b) {}
    ULONG PartA() const { return a_; }
    ULONG PartB() const { return b_; }

private:
    ULONG a_, b_;
};

struct Interface_ID {
    ULONG a, b;
};

class FPInterface {
public:
    virtual ~FPInterface() {}
    virtual Interface_ID GetID() = 0;
};

class ClassDesc {
public:
    virtual ~ClassDesc() {}
    virtual int IsPublic() = 0;
    virtual void* Create(BOOL loading = 0) = 0;
    virtual const char* ClassName() = 0;
    virtual SClass_ID SuperClassID() = 0;
    virtual Class_ID ClassID() = 0;
    virtual const char* Category() = 0;
    virtual const char* GetRsrcString(int id) = 0;
    virtual FPInterface* GetInterface(Interface_ID id) = 0;
    virtual void AddInterface(FPInterface* fpi) = 0;
    virtual int NumInterfaces() const = 0;
};

class Interface {
public:
    virtual ~Interface() {}
    virtual const char* GetDir(int which) = 0;
};

class BitmapStorage {
public:
    virtual ~BitmapStorage() {}
    virtual unsigned short Width() const = 0;
    virtual unsigned short Height() const = 0;
    virtual int GetPixels(int x, int y, int count, BMM_Color_64* dest) = 0;
    virtual int PutPixels(int x, int y, int count, const BMM_Color_64* src) = 0;
    virtual void* GetChannel(unsigned channelId, unsigned& channelType) = 0;
};

class Bitmap {
public:
    explicit Bitmap(BitmapStorage* storage) : storage_(storage) {}
    virtual ~Bitmap() {}
    BitmapStorage* Storage() const { return storage_; }

private:
    BitmapStorage* storage_;
};

class ImageFilter {
public:
    virtual ~ImageFilter() {}
    virtual const char* Description() = 0;
    virtual const char* AuthorName() = 0;
    virtual const char* CopyrightMessage() = 0;
    virtual UINT Version() = 0;
    virtual DWORD Capability() = 0;
    virtual void ShowAbout(HWND hWnd) = 0;
    virtual BOOL ShowControl(HWND hWnd) = 0;
    virtual void SetSource(Bitmap* map) = 0;
    virtual void SetForeground(Bitmap* map) = 0;
    virtual void SetMask(Bitmap* map) = 0;
    virtual void SetFilterInfo(void* info) = 0;
    virtual BOOL Render(HWND hWnd) = 0;
    virtual Interface* Max() = 0;
    virtual void Lerp(BMM_Color_64* out, const BMM_Color_64* in1, const BMM_Color_64* in2, WORD alpha) = 0;
    virtual void Lerp(BMM_Color_64* out, const BMM_Color_64* in1, const BMM_Color_64* in2, float t) = 0;
    virtual DWORD EvaluateConfigure() = 0;
    virtual BOOL LoadConfigure(void* ptr) = 0;
    virtual BOOL SaveConfigure(void* ptr) = 0;
    virtual BOOL CreatePreview(HWND hWnd, Bitmap** bitmap, int frame, int width, int height) = 0;
    virtual DWORD ChannelsRequired() = 0;
    virtual HWND DlgHandle() = 0;
    virtual void MakeDlgInteractive(HWND hWnd) = 0;
    virtual BOOL IsInteractive() = 0;
    virtual void* CreateNode() = 0;
    virtual void* Node() = 0;
    virtual void FilterUpdate() = 0;
};

class ICustEdit {
public:
    virtual void SetText(const char* text) = 0;
    virtual void SetText(int value) = 0;
    virtual int GetInt(BOOL* valid = 0) = 0;

protected:
    ~ICustEdit() {}
};

class ISpinnerControl {
public:
    virtual void LinkToEdit(HWND edit, int type) = 0;
    virtual void SetLimits(int minimum, int maximum, BOOL limitCurrent = 1) = 0;
    virtual void SetValue(int value, int notify) = 0;
    virtual int GetIVal() = 0;

protected:
    ~ISpinnerControl() {}
};

// The library exports, as the host looks them up.
typedef const char* (*LibDescriptionProc)();
typedef int (*LibNumberClassesProc)();
typedef ClassDesc* (*LibClassDescProc)(int i);
typedef ULONG (*LibVersionProc)();
