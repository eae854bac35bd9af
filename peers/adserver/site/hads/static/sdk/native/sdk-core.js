// The SDK-core page's script: it turns the SDK's ad requests into answers and hands the SDK
// its constants. The server's catalogue (window.HSDK_CONFIG, from /hads/sdk/config.js) says how
// each ad unit is answered:
//   "url"     loadAdURL with an ad URL on this server, built from the request's parameters;
//   "direct"  the ad itself: fetched through the SDK (fetchHttpRequest), then loadAd;
//   "invalid" invalidRequest; "errors" loadAdURL carrying errors; "silent" no answer.
// Messages go to the SDK as hmsg:// navigations; the SDK's events arrive through
// HSDK_ReceiveMessage. window.HSDK_core keeps what happened, for a reader.
(function () {
    var config = window.HSDK_CONFIG || {server: '', constants: {}, units: {}};
    var core = window.HSDK_core = {requests: [], calls: [], events: [], fetches: {}, nextFetch: 1};
    // The request parameters an ad URL carries (the others stay with the SDK).
    var AD_URL_KEYS = ['slotname', 'format', 'sz', 'request_id', 'js', 'request_origin', 'adtest',
        'eid', 'correlation_id', 'smart_w', 'smart_h', 'fluid', 'cust_gender', 'cust_age', 'url',
        'net', 'net_last', 'u_w', 'u_h', 'u_sd', 'u_so', 'app_name', 'hl', 'force_https', 'cladr',
        'd_imp_hdr', '_forcePrefetch', 'cre', 'ms', 'request_agent', 'tag_for_child_directed_treatment',
        'adapters'];

    function send(name, parameters) {
        var query = [];
        for (var key in parameters)
            if (parameters[key] !== undefined && parameters[key] !== null)
                query.push(encodeURIComponent(key) + '=' + encodeURIComponent(String(parameters[key])));
        window.location.href = 'hmsg://hsdk/' + name + (query.length ? '?' + query.join('&') : '');
    }

    function query(parameters) {
        var pieces = [];
        for (var i = 0; i < AD_URL_KEYS.length; i++) {
            var key = AD_URL_KEYS[i], value = parameters[key];
            // A list (the mediation adapters present) goes as its texts joined by ",".
            if (Array.isArray(value)) value = value.join(',');
            if (value === undefined || value === null || typeof value === 'object') continue;
            pieces.push(encodeURIComponent(key) + '=' + encodeURIComponent(String(value)));
        }
        return pieces.join('&');
    }

    function unitOf(parameters) {
        var units = config.units || {};
        return units[parameters.slotname] || units['*'] || {answer: 'url'};
    }

    // An HTTP request made by the SDK for the page; `done(reply)` hears its result.
    function fetchThroughSDK(url, done) {
        var id = 'f' + core.nextFetch++;
        core.fetches[id] = done;
        send('fetchHttpRequest', {http_request: JSON.stringify({http_request_id: id, url: url})});
    }

    function answer(parameters) {
        parameters = parameters || {};
        core.requests.push(parameters);
        var requestID = parameters.request_id;
        var unit = unitOf(parameters);
        var adQuery = query(parameters);
        switch (unit.answer) {
        case 'silent':
            return;
        case 'invalid':
            send('invalidRequest', {request_id: requestID, errors: unit.errors || 'Unknown ad unit.'});
            return;
        case 'errors':
            send('loadAdURL', {request_id: requestID, errors: unit.errors || 'Bad request.'});
            return;
        case 'direct':
            fetchThroughSDK(config.server + '/hads/ad/direct?' + adQuery, function (reply) {
                if (reply && reply.success === 'true') {
                    send('loadAd', {request_id: requestID, fetched_ad: reply.response.body});
                } else {
                    send('invalidRequest', {request_id: requestID,
                                            errors: (reply && reply.reason) || 'No ad.'});
                }
            });
            return;
        default:
            send('loadAdURL', {request_id: requestID, url: config.server + '/hads/ad?' + adQuery,
                               request_scenario: 'online_request'});
        }
    }

    window.HSDK_getAd = function (parameters) {
        core.calls.push('HSDK_getAd');
        answer(parameters);
    };
    window.HSDK_getAdapterLessMediationAd = function (parameters) {
        core.calls.push('HSDK_getAdapterLessMediationAd');
        answer(parameters);
    };

    window.HSDK_getSdkConstants = function (parameters) {
        core.constantsAsked = (core.constantsAsked || 0) + 1;
        var constants = {};
        for (var name in config.constants || {}) constants[name] = config.constants[name];
        send('loadSdkConstants', constants);
    };

    // Asks the SDK to load this page again (after the server changed what it serves).
    window.HSDK_requestReload = function () { send('requestReload', {}); };

    var previous = window.HSDK_ReceiveMessage;
    window.HSDK_ReceiveMessage = function (name, payload) {
        core.events.push({name: name, payload: payload});
        if (name === 'fetchHttpRequestCompleted' && payload && payload.response) {
            var done = core.fetches[payload.response.http_request_id];
            delete core.fetches[payload.response.http_request_id];
            if (done) done(payload);
        }
        if (previous) previous(name, payload);
    };
})();
