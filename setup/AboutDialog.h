// The About box: logo, name and version, the maker's web and e-mail links.
#pragma once

#include "ui/LinkStatic.h"
#include "ui/Dialog.h"

// The maker's addresses, shown in the About box and behind the Setup dialog's logo.
extern const char kMakerWebAddress[];
extern const char kMakerMailAddress[];

class AboutDialog : public ui::Dialog {
public:
    explicit AboutDialog(HWND parent);
    LinkStatic& WebLink() { return webLink_; }
    LinkStatic& MailLink() { return mailLink_; }

protected:
    void DoDataExchange(ui::DataExchange& exchange) override;
    BOOL OnInitDialog() override;

private:
    LinkStatic webLink_;
    LinkStatic mailLink_;
};
