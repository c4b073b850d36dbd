#include "common/Prompts.h"

void Prompts::inform(Icon icon, const QString &title, const QString &text)
{
    ask({icon, title, text, {}, {}, {Button::ok()}});
}

bool Prompts::confirm(Icon icon, const QString &title, const QString &text)
{
    return ask({icon, title, text, {}, {}, {Button::ok(), Button::cancel()}}) == 0;
}
