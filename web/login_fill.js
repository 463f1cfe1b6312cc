// One step of a one-click log-in. The program evaluates this function with
// one job and reads back a word; it runs in a script world of the program's
// own, so the page's scripts can neither read the job nor replace what is
// called here, and nothing of it stays in the page between steps.
//
// job.origin: the only origin whose documents are touched; job.stage: "login"
// (nothing sent yet), "password" (the user name went on an earlier page) or
// "code" (the password went); job.user, job.password, job.code: the values,
// each only when this stage may use it; job.settled: the page has had a
// moment after its load to show a password field it holds.
//
// Answers: "none" (nothing to fill yet), "other-origin", "wait-submit" (filled,
// the page's button not yet enabled), "submitted-user", "submitted-password",
// "submitted-code", "filled" (filled, but left for the user to send), "error".
(function (job) {
    'use strict';
    // However large the page, a step looks at a bounded part of it.
    var MAX_DOCUMENTS = 16;
    var MAX_INPUTS = 2000;
    var MAX_BUTTONS = 500;
    var FOLLOWS = 4; // Node.DOCUMENT_POSITION_FOLLOWING

    // This document and its frames of the same origin, never another
    // origin's: reading one of those throws, and it is passed over.
    function documents() {
        var found = [];
        var queue = [window];
        while (queue.length && found.length < MAX_DOCUMENTS) {
            var frame = queue.shift();
            var doc = null;
            try {
                if (frame.location.origin !== job.origin)
                    continue;
                doc = frame.document;
            } catch (e) {
                continue;
            }
            if (!doc)
                continue;
            found.push(doc);
            for (var i = 0; i < frame.frames.length && queue.length < MAX_DOCUMENTS; ++i)
                queue.push(frame.frames[i]);
        }
        return found;
    }

    function inputsOf(doc) {
        var all = doc.getElementsByTagName('input');
        var list = [];
        for (var i = 0; i < all.length && i < MAX_INPUTS; ++i)
            list.push(all[i]);
        return list;
    }

    function shown(el) {
        if (el.disabled || el.readOnly)
            return false;
        var rect = el.getBoundingClientRect();
        if (rect.width < 1 || rect.height < 1)
            return false;
        var style = el.ownerDocument.defaultView.getComputedStyle(el);
        return style.visibility !== 'hidden' && style.display !== 'none';
    }

    function hinted(el, hint) {
        var tokens = (el.getAttribute('autocomplete') || '').toLowerCase().split(/\s+/);
        return tokens.indexOf(hint) >= 0;
    }

    function textual(el) {
        return el.type === 'text' || el.type === 'email' || el.type === 'tel';
    }

    function first(list, test) {
        for (var i = 0; i < list.length; ++i)
            if (test(list[i]))
                return list[i];
        return null;
    }

    // The password field a password manager would fill: the visible one
    // hinted "current-password", else the first that is not hinted as a new
    // one. A form of new passwords only is a sign-up, not a log-in.
    function passwordField(docs) {
        var fields = [];
        docs.forEach(function (doc) {
            inputsOf(doc).forEach(function (el) {
                if (el.type === 'password' && shown(el))
                    fields.push(el);
            });
        });
        return first(fields, function (el) { return hinted(el, 'current-password'); }) ||
               first(fields, function (el) { return !hinted(el, 'new-password'); });
    }

    // The fields of the same form as `field` (or, outside any form, of the
    // same document outside any form), shown, in document order.
    function companions(field) {
        return inputsOf(field.ownerDocument).filter(function (el) {
            return el !== field && el.form === field.form && shown(el);
        });
    }

    // The user-name field of a password field: hinted first, else the last
    // text or e-mail field before it.
    function userFieldFor(password) {
        var fields = companions(password).filter(textual);
        var hintedField = first(fields, function (el) { return hinted(el, 'username'); }) ||
                          first(fields, function (el) { return hinted(el, 'email'); });
        if (hintedField)
            return hintedField;
        var last = null;
        fields.forEach(function (el) {
            if (el.compareDocumentPosition(password) & FOLLOWS)
                last = el;
        });
        return last;
    }

    // A page that asks for the user name alone, the password to follow. A
    // form that also holds a password field, still hidden, may only be slow
    // to show it: sending the user name alone would spoil that log-in, so
    // such a form counts only once the page has settled.
    function userOnlyField(docs) {
        var named = /user|login|e-?mail|account|ident/i;
        for (var d = 0; d < docs.length; ++d) {
            var field = first(inputsOf(docs[d]), function (el) {
                if (!textual(el) || !shown(el))
                    return false;
                if (!job.settled && (el.form || el.ownerDocument).querySelector('input[type=password]'))
                    return false;
                return hinted(el, 'username') || hinted(el, 'email') || el.type === 'email' ||
                       named.test(el.name || '') || named.test(el.id || '');
            });
            if (field)
                return field;
        }
        return null;
    }

    // The field for a one-time code: hinted, or on the page after the
    // password a short numeric field.
    function codeField(docs, afterPassword) {
        var numericName = /otp|code|token|2fa|mfa|totp|pin|verif/i;
        for (var d = 0; d < docs.length; ++d) {
            var inputs = inputsOf(docs[d]).filter(shown);
            var field = first(inputs, function (el) { return hinted(el, 'one-time-code'); });
            if (field)
                return field;
            if (!afterPassword)
                continue;
            field = first(inputs, function (el) {
                if (!(textual(el) || el.type === 'number'))
                    return false;
                var length = el.maxLength;
                if (length < 4 || length > 10)
                    return false;
                var numeric = el.type === 'number' || el.type === 'tel' ||
                              (el.getAttribute('inputmode') || '') === 'numeric' ||
                              /\\d|\[0-9\]/.test(el.getAttribute('pattern') || '');
                return numeric || numericName.test(el.name || '') || numericName.test(el.id || '');
            });
            if (field)
                return field;
        }
        return null;
    }

    // Typed as far as the page can tell: it hears focus, input and change,
    // so pages that build their state from those events see the value.
    function put(el, value) {
        if (el.value === value)
            return;
        var view = el.ownerDocument.defaultView;
        el.focus();
        el.value = value;
        el.dispatchEvent(new view.Event('input', {bubbles: true}));
        el.dispatchEvent(new view.Event('change', {bubbles: true}));
    }

    function submitButton(field) {
        var form = field.form;
        var root = form || field.ownerDocument;
        var buttons = root.querySelectorAll('button, input[type=submit], input[type=image]');
        var formless = /log ?in|sign ?in|next|continue|submit|verify/i;
        for (var i = 0; i < buttons.length && i < MAX_BUTTONS; ++i) {
            var button = buttons[i];
            if (button.form !== form || button.type !== 'submit' && button.type !== 'image')
                continue;
            var rect = button.getBoundingClientRect();
            if (rect.width < 1 || rect.height < 1)
                continue;
            if (form || formless.test(button.textContent || button.value || ''))
                return button;
        }
        return null;
    }

    // The form's own button, or its own submission; never a navigation made
    // up here. A form that would send the password in its address (GET) is
    // left filled for the user to decide.
    function submit(field, carriesPassword) {
        var form = field.form;
        var button = submitButton(field);
        var method = button && button.hasAttribute('formmethod') ? button.formMethod : form ? form.method : 'post';
        if (carriesPassword && form && method === 'get')
            return 'filled';
        if (button) {
            if (button.disabled)
                return 'wait-submit';
            button.click();
            return 'submitted';
        }
        if (form) {
            form.requestSubmit();
            return 'submitted';
        }
        return 'filled';
    }

    function step() {
        if (window.location.origin !== job.origin)
            return 'other-origin';
        var docs = documents();
        if (job.stage !== 'code') {
            var password = passwordField(docs);
            if (password) {
                var user = userFieldFor(password);
                if (user && job.user)
                    put(user, job.user);
                put(password, job.password);
                if (job.code) {
                    var sameFormCode = first(companions(password), function (el) {
                        return hinted(el, 'one-time-code');
                    });
                    if (sameFormCode)
                        put(sameFormCode, job.code);
                }
                var sent = submit(password, true);
                return sent === 'submitted' ? 'submitted-password' : sent;
            }
            if (job.stage === 'login' && job.user) {
                var alone = userOnlyField(docs);
                if (alone) {
                    put(alone, job.user);
                    var userSent = submit(alone, false);
                    return userSent === 'submitted' ? 'submitted-user' : userSent;
                }
            }
            return 'none';
        }
        if (!job.code)
            return 'none';
        var code = codeField(docs, true);
        if (!code)
            return 'none';
        put(code, job.code);
        var codeSent = submit(code, false);
        return codeSent === 'submitted' ? 'submitted-code' : codeSent;
    }

    try {
        return step();
    } catch (e) {
        // Never the exception itself: its text could quote what was handed in.
        return 'error';
    }
})
