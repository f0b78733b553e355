#pragma once

#include <string>

#include "lumboExt.h"
#include "server/com_object.h"
#include "server/dispatch_impl.h"
#include "shellext/shell_overlay.h"

namespace lumbo {

// The synchronised badge, a green tick (icon index 0).
class ClumboExt0 : public CComObjectRootEx<CComSingleThreadModel>,
                   public CComCoClass<ClumboExt0, &CLSID_lumboExt0>,
                   public IDispatchImpl<IlumboExt0, &IID_IlumboExt0, &LIBID_lumboExtLib, 1, 0,
                                        CComTypeInfoHolder>,
                   public ShellOverlay<ClumboExt0> {
public:
    LUMBO_BEGIN_COM_MAP(ClumboExt0)
    LUMBO_COM_INTERFACE_ENTRY_IID(IID_IlumboExt0, IlumboExt0)
    LUMBO_COM_INTERFACE_ENTRY_IID(IID_IDispatch, IlumboExt0)
    LUMBO_COM_INTERFACE_ENTRY_IID(IID_IShellIconOverlayIdentifier, IShellIconOverlayIdentifier)
    LUMBO_END_COM_MAP()

    static constexpr int kIconIndex = 0;
    bool Decide(const OverlayQuery& query);
};

// The pending badge, blue circling arrows (icon index 1). It remembers the
// last monitored folder it read, for calls that cannot read it.
class ClumboExt1 : public CComObjectRootEx<CComSingleThreadModel>,
                   public CComCoClass<ClumboExt1, &CLSID_lumboExt1>,
                   public IDispatchImpl<IlumboExt1, &IID_IlumboExt1, &LIBID_lumboExtLib, 1, 0,
                                        CComTypeInfoHolder>,
                   public ShellOverlay<ClumboExt1> {
public:
    LUMBO_BEGIN_COM_MAP(ClumboExt1)
    LUMBO_COM_INTERFACE_ENTRY_IID(IID_IlumboExt1, IlumboExt1)
    LUMBO_COM_INTERFACE_ENTRY_IID(IID_IDispatch, IlumboExt1)
    LUMBO_COM_INTERFACE_ENTRY_IID(IID_IShellIconOverlayIdentifier, IShellIconOverlayIdentifier)
    LUMBO_END_COM_MAP()

    static constexpr int kIconIndex = 1;
    bool Decide(const OverlayQuery& query);

private:
    std::string m_monitoredFolder;
};

// The failed badge, a red cross (icon index 2).
class ClumboExt2 : public CComObjectRootEx<CComSingleThreadModel>,
                   public CComCoClass<ClumboExt2, &CLSID_lumboExt2>,
                   public IDispatchImpl<IlumboExt2, &IID_IlumboExt2, &LIBID_lumboExtLib, 1, 0,
                                        CComTypeInfoHolder>,
                   public ShellOverlay<ClumboExt2> {
public:
    LUMBO_BEGIN_COM_MAP(ClumboExt2)
    LUMBO_COM_INTERFACE_ENTRY_IID(IID_IlumboExt2, IlumboExt2)
    LUMBO_COM_INTERFACE_ENTRY_IID(IID_IDispatch, IlumboExt2)
    LUMBO_COM_INTERFACE_ENTRY_IID(IID_IShellIconOverlayIdentifier, IShellIconOverlayIdentifier)
    LUMBO_END_COM_MAP()

    static constexpr int kIconIndex = 2;
    bool Decide(const OverlayQuery& query);
};

}  // namespace lumbo
