// The ad server's MRAID 2.0 implementation: the `mraid` object an ad page gets by including
// "mraid.js", which the ad SDK answers with this script for the ad view that asked. The server
// serves it three times, as the banner, expanded-banner and interstitial scripts, with the
// placement type and the state the script starts from filled in.
//
// What the page calls becomes a message to the SDK (an "hmsg://" navigation); what the SDK
// reports arrives through HSDK_ReceiveMessage(name, payload) and becomes MRAID state and
// events ("ready", "error", "stateChange", "viewableChange", "sizeChange").
(function () {
    if (window.mraid && window.mraid.getVersion) return;  // included twice

    var PLACEMENT = '{placementType}';
    var STATES = ['loading', 'default', 'expanded', 'resized', 'hidden'];
    var EVENTS = ['ready', 'error', 'stateChange', 'viewableChange', 'sizeChange'];
    var FEATURES = ['sms', 'tel', 'calendar', 'storePicture', 'inlineVideo'];

    var state = 'loading';
    var viewable = false;
    var listeners = {};
    var features = {};
    var screenSize = {width: 0, height: 0};
    var maxSize = {width: 0, height: 0};
    var currentPosition = {x: 0, y: 0, width: 0, height: 0};
    var defaultPosition = {x: 0, y: 0, width: 0, height: 0};
    var expandProperties = {width: -1, height: -1, useCustomClose: false, isModal: true};
    var resizeProperties = null;
    var orientationProperties = {allowOrientationChange: true, forceOrientation: 'none'};
    var customClose = false;

    function send(name, parameters) {
        var query = [];
        for (var key in parameters || {})
            if (parameters[key] !== undefined && parameters[key] !== null)
                query.push(encodeURIComponent(key) + '=' + encodeURIComponent(String(parameters[key])));
        window.location.href = 'hmsg://mraid/' + name + (query.length ? '?' + query.join('&') : '');
    }

    function fire(event) {
        var args = Array.prototype.slice.call(arguments, 1);
        var list = (listeners[event] || []).slice();
        for (var i = 0; i < list.length; i++) {
            try {
                list[i].apply(window, args);
            } catch (e) {
                if (window.console) console.log('mraid listener failed: ' + e);
            }
        }
    }

    function error(message, action) { fire('error', message, action); }

    function setState(next) {
        if (STATES.indexOf(next) < 0 || next === state) return;
        state = next;
        fire('stateChange', state);
    }

    function copy(object) {
        var result = {};
        for (var key in object) result[key] = object[key];
        return result;
    }

    function number(value) {
        var n = Number(value);
        return isFinite(n) ? n : 0;
    }

    var mraid = {
        getVersion: function () { return '2.0'; },
        addEventListener: function (event, listener) {
            if (EVENTS.indexOf(event) < 0 || typeof listener !== 'function') {
                error('Unknown event or listener: ' + event, 'addEventListener');
                return;
            }
            (listeners[event] = listeners[event] || []).push(listener);
        },
        removeEventListener: function (event, listener) {
            if (EVENTS.indexOf(event) < 0) {
                error('Unknown event: ' + event, 'removeEventListener');
                return;
            }
            if (listener === undefined) {
                delete listeners[event];
                return;
            }
            var list = listeners[event] || [];
            var at = list.indexOf(listener);
            if (at < 0) {
                error('The listener is not registered.', 'removeEventListener');
                return;
            }
            list.splice(at, 1);
        },
        getState: function () { return state; },
        getPlacementType: function () { return PLACEMENT; },
        isViewable: function () { return viewable; },
        open: function (url) {
            if (!url) { error('open needs a URL.', 'open'); return; }
            send('open', {a: 'browser', u: url});
        },
        close: function () {
            if (state === 'hidden') return;
            if (state === 'expanded' || state === 'resized') {
                send('close', {});
                return;
            }
            // A banner in its default state is hidden; an interstitial closes.
            if (PLACEMENT === 'inline') setState('hidden');
            send('close', {});
        },
        useCustomClose: function (use) {
            customClose = !!use;
            expandProperties.useCustomClose = customClose;
            send('customClose', {custom_close: customClose ? '1' : '0'});
        },
        expand: function (url) {
            if (PLACEMENT !== 'inline' || state !== 'default' && state !== 'resized') {
                error('expand is not possible in state ' + state + '.', 'expand');
                return;
            }
            var parameters = {custom_close: expandProperties.useCustomClose ? '1' : '0'};
            if (url) {
                parameters.a = 'webapp';
                parameters.u = url;
            } else {
                parameters.a = 'expand';
            }
            send('open', parameters);
        },
        getExpandProperties: function () { return copy(expandProperties); },
        setExpandProperties: function (properties) {
            if (!properties) return;
            if ('width' in properties) expandProperties.width = number(properties.width);
            if ('height' in properties) expandProperties.height = number(properties.height);
            if ('useCustomClose' in properties) expandProperties.useCustomClose = !!properties.useCustomClose;
            expandProperties.isModal = true;
        },
        resize: function () {
            if (PLACEMENT !== 'inline') {
                error('An interstitial cannot be resized.', 'resize');
                return;
            }
            if (!resizeProperties) {
                error('setResizeProperties must be called before resize.', 'resize');
                return;
            }
            send('mraid', {a: 'resize', width: resizeProperties.width, height: resizeProperties.height,
                           offsetX: resizeProperties.offsetX, offsetY: resizeProperties.offsetY,
                           customClosePosition: resizeProperties.customClosePosition,
                           allowOffscreen: resizeProperties.allowOffscreen ? 'true' : 'false'});
        },
        getResizeProperties: function () { return resizeProperties ? copy(resizeProperties) : null; },
        setResizeProperties: function (properties) {
            if (!properties || number(properties.width) < 50 || number(properties.height) < 50) {
                error('Resize properties need a width and a height of at least 50.', 'setResizeProperties');
                return;
            }
            resizeProperties = {
                width: number(properties.width),
                height: number(properties.height),
                offsetX: number(properties.offsetX),
                offsetY: number(properties.offsetY),
                customClosePosition: properties.customClosePosition || 'top-right',
                allowOffscreen: properties.allowOffscreen === undefined ? true : !!properties.allowOffscreen
            };
        },
        getOrientationProperties: function () { return copy(orientationProperties); },
        setOrientationProperties: function (properties) {
            if (!properties) return;
            if ('allowOrientationChange' in properties)
                orientationProperties.allowOrientationChange = !!properties.allowOrientationChange;
            if ('forceOrientation' in properties) {
                var force = properties.forceOrientation;
                if (force !== 'portrait' && force !== 'landscape' && force !== 'none') {
                    error('forceOrientation must be portrait, landscape or none.', 'setOrientationProperties');
                    return;
                }
                orientationProperties.forceOrientation = force;
            }
            send('mraid', {a: 'setOrientationProperties',
                           allowOrientationChange: orientationProperties.allowOrientationChange ? 'true' : 'false',
                           forceOrientation: orientationProperties.forceOrientation});
        },
        getCurrentPosition: function () { return copy(currentPosition); },
        getDefaultPosition: function () { return copy(defaultPosition); },
        getMaxSize: function () { return copy(maxSize); },
        getScreenSize: function () { return copy(screenSize); },
        supports: function (feature) { return FEATURES.indexOf(feature) >= 0 && !!features[feature]; },
        storePicture: function (url) {
            if (!features.storePicture) { error('Storing pictures is not supported.', 'storePicture'); return; }
            send('mraid', {a: 'storePicture', iurl: url});
        },
        createCalendarEvent: function (parameters) {
            if (!features.calendar) { error('Calendar events are not supported.', 'createCalendarEvent'); return; }
            var message = {a: 'createCalendarEvent'};
            for (var key in parameters || {}) message[key] = parameters[key];
            send('mraid', message);
        },
        playVideo: function (url) {
            if (!url) { error('playVideo needs a URL.', 'playVideo'); return; }
            send('open', {a: 'video', u: url});
        }
    };
    window.mraid = mraid;

    // The SDK's reports.
    var previous = window.HSDK_ReceiveMessage;
    window.HSDK_ReceiveMessage = function (name, payload) {
        payload = payload || {};
        switch (name) {
        case 'onReadyEventReceived':
            if (state === 'loading') {
                state = '{initialState}';
                fire('ready');
            }
            break;
        case 'onScreenInfoChanged':
            screenSize = {width: number(payload.width), height: number(payload.height)};
            maxSize = {width: number(payload.maxSizeWidth), height: number(payload.maxSizeHeight)};
            break;
        case 'onDeviceFeaturesReceived':
            for (var i = 0; i < FEATURES.length; i++) features[FEATURES[i]] = !!payload[FEATURES[i]];
            break;
        case 'onSizeChanged':
            var changed = number(payload.width) !== currentPosition.width ||
                          number(payload.height) !== currentPosition.height;
            currentPosition = {x: number(payload.x), y: number(payload.y),
                               width: number(payload.width), height: number(payload.height)};
            if (changed) fire('sizeChange', currentPosition.width, currentPosition.height);
            break;
        case 'onDefaultPositionReceived':
            defaultPosition = {x: number(payload.x), y: number(payload.y),
                               width: number(payload.width), height: number(payload.height)};
            break;
        case 'onAdVisibilityChanged':
            var now = payload.visible === '1';
            if (now !== viewable) {
                viewable = now;
                fire('viewableChange', viewable);
            }
            break;
        case 'onError':
            error(payload.message, payload.action);
            break;
        case 'onStateChanged':
            setState(payload.state);
            break;
        case 'collapsed':
            setState('default');
            break;
        case 'onhide':
            if (PLACEMENT === 'interstitial') setState('hidden');
            break;
        }
        if (previous) previous(name, payload);
    };

    send('mraidLoaded', {});
})();
