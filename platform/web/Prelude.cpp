#include "platform/web/Prelude.h"

namespace platform::web {

const char* const kPrelude = R"JS(
(function (global) {
'use strict';
var N = __native;
var VOID = {area:1, base:1, br:1, col:1, embed:1, hr:1, img:1, input:1, link:1, meta:1,
            param:1, source:1, track:1, wbr:1};
var INLINE = {a:1, span:1, b:1, i:1, em:1, strong:1, small:1, font:1, u:1, br:1, img:1,
              label:1, code:1, sub:1, sup:1};
var HIDDEN = {head:1, script:1, style:1, title:1, meta:1, link:1, noscript:1, template:1};

function str(v) { return v === undefined || v === null ? '' : String(v); }
function logError(e) {
  var text = e && e.stack !== undefined && e.message !== undefined ? e.name + ': ' + e.message
                                                                    : str(e);
  N.log('error', text);
}

// Events.
function Event(type, init) {
  this.type = str(type);
  this.bubbles = !!(init && init.bubbles);
  this.cancelable = !!(init && init.cancelable);
  this.defaultPrevented = false;
  this.target = null;
  this.currentTarget = null;
  this.detail = init && init.detail !== undefined ? init.detail : null;
  this._stop = false;
  this.timeStamp = Date.now();
}
Event.prototype.initEvent = function (type, bubbles, cancelable) {
  this.type = str(type); this.bubbles = !!bubbles; this.cancelable = !!cancelable;
};
Event.prototype.initCustomEvent = function (type, bubbles, cancelable, detail) {
  this.initEvent(type, bubbles, cancelable); this.detail = detail;
};
Event.prototype.preventDefault = function () { if (this.cancelable) this.defaultPrevented = true; };
Event.prototype.stopPropagation = function () { this._stop = true; };
Event.prototype.stopImmediatePropagation = function () { this._stop = true; this._stopNow = true; };
function CustomEvent(type, init) { Event.call(this, type, init); }
CustomEvent.prototype = Object.create(Event.prototype);

var EventTarget = {
  addEventListener: function (type, fn, capture) {
    if (!fn) return;
    var map = this._listeners || (this._listeners = {});
    var list = map[type] || (map[type] = []);
    for (var i = 0; i < list.length; i++) if (list[i] === fn) return;
    list.push(fn);
  },
  removeEventListener: function (type, fn) {
    var list = this._listeners && this._listeners[type];
    if (!list) return;
    for (var i = 0; i < list.length; i++) if (list[i] === fn) { list.splice(i, 1); return; }
  },
  dispatchEvent: function (event) {
    event.target = this;
    var path = [];
    for (var n = this; n; n = n.parentNode) path.push(n);
    if (path[path.length - 1] === document && this !== global) path.push(global);
    for (var k = 0; k < path.length; k++) {
      if (k > 0 && !event.bubbles) break;
      fire(path[k], event);
      if (event._stop) break;
    }
    return !event.defaultPrevented;
  }
};
function fire(target, event) {
  event.currentTarget = target;
  var list = target._listeners && target._listeners[event.type];
  if (list) {
    list = list.slice();
    for (var i = 0; i < list.length; i++) {
      try {
        var fn = list[i];
        if (typeof fn === 'function') fn.call(target, event);
        else if (fn && typeof fn.handleEvent === 'function') fn.handleEvent(event);
      } catch (e) { logError(e); }
      if (event._stopNow) return;
    }
  }
  var handler = target['on' + event.type];
  if (typeof handler === 'function') {
    try { if (handler.call(target, event) === false) event.preventDefault(); }
    catch (e) { logError(e); }
  }
}

// Nodes.
function Node() {}
Node.ELEMENT_NODE = 1; Node.TEXT_NODE = 3; Node.COMMENT_NODE = 8; Node.DOCUMENT_NODE = 9;
for (var key in EventTarget) Node.prototype[key] = EventTarget[key];
Object.defineProperties(Node.prototype, {
  firstChild: { get: function () { return this.childNodes[0] || null; } },
  lastChild: { get: function () { return this.childNodes[this.childNodes.length - 1] || null; } },
  nextSibling: { get: function () { return sibling(this, 1); } },
  previousSibling: { get: function () { return sibling(this, -1); } },
  parentElement: { get: function () {
    return this.parentNode && this.parentNode.nodeType === 1 ? this.parentNode : null; } },
  ownerDocument: { get: function () { return document; } },
  isConnected: { get: function () {
    for (var n = this; n; n = n.parentNode) if (n === document) return true;
    return false; } },
  textContent: {
    get: function () { return textOf(this); },
    set: function (v) { setText(this, v); } }
});
function sibling(node, step) {
  var p = node.parentNode;
  if (!p) return null;
  return p.childNodes[p.childNodes.indexOf(node) + step] || null;
}
Node.prototype.hasChildNodes = function () { return this.childNodes.length > 0; };
Node.prototype.contains = function (other) {
  for (var n = other; n; n = n.parentNode) if (n === this) return true;
  return false;
};
Node.prototype.appendChild = function (child) { return this.insertBefore(child, null); };
Node.prototype.insertBefore = function (child, ref) {
  if (!child || !(child instanceof Node)) throw new TypeError('insertBefore: not a node');
  if (child.contains(this)) throw new Error('HierarchyRequestError');
  if (child.nodeType === 11) {
    var kids = child.childNodes.slice();
    for (var i = 0; i < kids.length; i++) this.insertBefore(kids[i], ref);
    return child;
  }
  if (child.parentNode) detach(child);
  var at = ref ? this.childNodes.indexOf(ref) : -1;
  if (at < 0) this.childNodes.push(child); else this.childNodes.splice(at, 0, child);
  child.parentNode = this;
  if (this.isConnected) connected(child);
  return child;
};
Node.prototype.removeChild = function (child) {
  if (!child || child.parentNode !== this) throw new Error('NotFoundError: not a child');
  detach(child);
  return child;
};
Node.prototype.replaceChild = function (child, old) {
  this.insertBefore(child, old);
  return this.removeChild(old);
};
Node.prototype.cloneNode = function (deep) {
  var copy;
  if (this.nodeType === 3) return document.createTextNode(this.data);
  if (this.nodeType === 8) return document.createComment(this.data);
  copy = document.createElement(this.tagName);
  for (var k in this._attrs) copy.setAttribute(k, this._attrs[k]);
  if (deep) for (var i = 0; i < this.childNodes.length; i++)
    copy.appendChild(this.childNodes[i].cloneNode(true));
  return copy;
};
function detach(node) {
  var p = node.parentNode;
  p.childNodes.splice(p.childNodes.indexOf(node), 1);
  node.parentNode = null;
}
function textOf(node) {
  if (node.nodeType === 3) return node.data;
  if (node.nodeType === 8) return '';
  var out = '';
  for (var i = 0; i < node.childNodes.length; i++) out += textOf(node.childNodes[i]);
  return out;
}
function setText(node, v) {
  if (node.nodeType === 3 || node.nodeType === 8) { node.data = str(v); return; }
  while (node.childNodes.length) detach(node.childNodes[0]);
  if (str(v) !== '') node.appendChild(document.createTextNode(str(v)));
}

function Text(data) { this.nodeType = 3; this.nodeName = '#text'; this.data = str(data);
                      this.childNodes = []; this.parentNode = null; }
Text.prototype = Object.create(Node.prototype);
Object.defineProperty(Text.prototype, 'nodeValue', {
  get: function () { return this.data; }, set: function (v) { this.data = str(v); } });
function Comment(data) { Text.call(this, data); this.nodeType = 8; this.nodeName = '#comment'; }
Comment.prototype = Object.create(Text.prototype);

function Style(element) { this._element = element; }
Style.prototype.setProperty = function (name, value) { this[camel(name)] = str(value); };
Style.prototype.getPropertyValue = function (name) { return str(this[camel(name)]); };
Style.prototype.removeProperty = function (name) { delete this[camel(name)]; };
function camel(name) { return name.trim().replace(/-([a-z])/g, function (m, c) { return c.toUpperCase(); }); }
Object.defineProperty(Style.prototype, 'cssText', {
  get: function () {
    var out = [];
    for (var k in this) if (k[0] !== '_' && this.hasOwnProperty(k) && this[k] !== '')
      out.push(k.replace(/[A-Z]/g, function (c) { return '-' + c.toLowerCase(); }) + ': ' + this[k]);
    return out.join('; ');
  },
  set: function (text) {
    for (var k in this) if (k[0] !== '_' && this.hasOwnProperty(k)) delete this[k];
    str(text).split(';').forEach(function (decl) {
      var at = decl.indexOf(':');
      if (at > 0) this[camel(decl.slice(0, at))] = decl.slice(at + 1).trim();
    }, this);
  }
});

function Element(tag) {
  this.nodeType = 1;
  this.tagName = str(tag).toUpperCase();
  this.nodeName = this.tagName;
  this.localName = str(tag).toLowerCase();
  this.childNodes = [];
  this.parentNode = null;
  this._attrs = {};
  this.style = new Style(this);
}
Element.prototype = Object.create(Node.prototype);
Element.prototype.getAttribute = function (name) {
  name = str(name).toLowerCase();
  return this._attrs.hasOwnProperty(name) ? this._attrs[name] : null;
};
Element.prototype.hasAttribute = function (name) {
  return this._attrs.hasOwnProperty(str(name).toLowerCase());
};
Element.prototype.setAttribute = function (name, value) {
  name = str(name).toLowerCase();
  value = str(value);
  this._attrs[name] = value;
  if (name === 'style') this.style.cssText = value;
  if (name === 'src') sourceChanged(this);
};
Element.prototype.removeAttribute = function (name) { delete this._attrs[str(name).toLowerCase()]; };
function reflect(prop, attr) {
  Object.defineProperty(Element.prototype, prop, {
    get: function () { var v = this.getAttribute(attr); return v === null ? '' : v; },
    set: function (v) { this.setAttribute(attr, v); } });
}
reflect('id', 'id'); reflect('className', 'class'); reflect('name', 'name');
reflect('type', 'type'); reflect('title', 'title'); reflect('alt', 'alt');
reflect('width', 'width'); reflect('height', 'height');
function reflectURL(prop) {
  Object.defineProperty(Element.prototype, prop, {
    get: function () {
      var v = this.getAttribute(prop);
      if (v === null) return '';
      var abs = N.resolve(v);
      return abs === undefined ? v : abs;
    },
    set: function (v) { this.setAttribute(prop, v); } });
}
reflectURL('src'); reflectURL('href');
Object.defineProperties(Element.prototype, {
  children: { get: function () {
    return this.childNodes.filter(function (n) { return n.nodeType === 1; }); } },
  firstElementChild: { get: function () { return this.children[0] || null; } },
  classList: { get: function () { return new ClassList(this); } },
  innerHTML: {
    get: function () { return serializeChildren(this); },
    set: function (html) {
      while (this.childNodes.length) detach(this.childNodes[0]);
      var nodes = N.parseHTML(str(html));
      for (var i = 0; i < nodes.length; i++) this.appendChild(build(nodes[i], true));
    } },
  outerHTML: { get: function () { return serialize(this); } },
  innerText: {
    get: function () {
      var out = '';
      for (var i = 0; i < this.childNodes.length; i++) out += visibleText(this.childNodes[i]);
      return out.replace(/ *\n[\n ]*/g, '\n').replace(/^\n+|\n+$/g, '');
    },
    set: function (v) { setText(this, v); } },
  value: {
    get: function () { return this._value !== undefined ? this._value : str(this.getAttribute('value')); },
    set: function (v) { this._value = str(v); } },
  contentWindow: { get: function () { return this.localName === 'iframe' ? frameWindow(this) : undefined; } },
  offsetWidth: { get: function () { return boxOf(this).w; } },
  offsetHeight: { get: function () { return boxOf(this).h; } },
  clientWidth: { get: function () { return boxOf(this).w; } },
  clientHeight: { get: function () { return boxOf(this).h; } }
});
Element.prototype.getBoundingClientRect = function () {
  var b = boxOf(this);
  return { left: b.x, top: b.y, x: b.x, y: b.y, width: b.w, height: b.h,
           right: b.x + b.w, bottom: b.y + b.h };
};
Element.prototype.click = function () {
  var e = new Event('click', { bubbles: true, cancelable: true });
  if (this.dispatchEvent(e)) activate(this, 5);
};
Element.prototype.focus = function () {};
Element.prototype.blur = function () {};
Element.prototype.getElementsByTagName = function (tag) { return collect(this, matcher(str(tag) === '*' ? '*' : str(tag))); };
Element.prototype.getElementsByClassName = function (name) { return collect(this, matcher('.' + str(name).trim())); };
Element.prototype.querySelectorAll = function (selector) {
  var groups = str(selector).split(',');
  var all = collect(this, function (n) {
    for (var i = 0; i < groups.length; i++) if (matchesChain(n, groups[i].trim())) return true;
    return false;
  });
  return all;
};
Element.prototype.querySelector = function (selector) { return this.querySelectorAll(selector)[0] || null; };
Element.prototype.matches = function (selector) { return matchesChain(this, str(selector).trim()); };
function frameWindow(iframe) {
  return iframe._window || (iframe._window = { postMessage: function () {}, document: null });
}

function ClassList(el) { this._el = el; }
ClassList.prototype._list = function () { return str(this._el.getAttribute('class')).split(/\s+/).filter(Boolean); };
ClassList.prototype.contains = function (c) { return this._list().indexOf(c) >= 0; };
ClassList.prototype.add = function (c) { var l = this._list(); if (l.indexOf(c) < 0) l.push(c); this._el.setAttribute('class', l.join(' ')); };
ClassList.prototype.remove = function (c) { this._el.setAttribute('class', this._list().filter(function (x) { return x !== c; }).join(' ')); };
ClassList.prototype.toggle = function (c) { if (this.contains(c)) { this.remove(c); return false; } this.add(c); return true; };

// Selectors: a chain of compounds (tag, #id, .class, [attr], [attr=value]) joined by
// descendant spaces or '>'.
function matcher(compound) {
  var m = /^([a-zA-Z0-9*-]*)((?:[#.][\w-]+|\[[^\]]+\])*)$/.exec(compound);
  if (!m) { N.log('warn', 'unsupported selector: ' + compound); return function () { return false; }; }
  var tag = m[1].toLowerCase();
  var parts = m[2].match(/[#.][\w-]+|\[[^\]]+\]/g) || [];
  return function (n) {
    if (n.nodeType !== 1) return false;
    if (tag && tag !== '*' && n.localName !== tag) return false;
    for (var i = 0; i < parts.length; i++) {
      var p = parts[i];
      if (p[0] === '#') { if (n.getAttribute('id') !== p.slice(1)) return false; }
      else if (p[0] === '.') { if (str(n.getAttribute('class')).split(/\s+/).indexOf(p.slice(1)) < 0) return false; }
      else {
        var a = /^\[\s*([\w-]+)\s*(?:=\s*["']?([^"'\]]*)["']?)?\s*\]$/.exec(p);
        if (!a || !n.hasAttribute(a[1])) return false;
        if (a[2] !== undefined && n.getAttribute(a[1]) !== a[2]) return false;
      }
    }
    return true;
  };
}
function matchesChain(node, selector) {
  var tokens = selector.replace(/\s*>\s*/g, ' > ').split(/\s+/).filter(Boolean);
  function test(n, i) {
    if (!matcher(tokens[i])(n)) return false;
    if (i === 0) return true;
    if (tokens[i - 1] === '>') return !!n.parentNode && n.parentNode.nodeType === 1 && test(n.parentNode, i - 2);
    for (var p = n.parentNode; p && p.nodeType === 1; p = p.parentNode) if (test(p, i - 1)) return true;
    return false;
  }
  return tokens.length > 0 && test(node, tokens.length - 1);
}
function collect(root, match) {
  var out = [];
  (function walk(n) {
    for (var i = 0; i < n.childNodes.length; i++) {
      var c = n.childNodes[i];
      if (match(c)) out.push(c);
      walk(c);
    }
  })(root);
  out.item = function (i) { return this[i] || null; };
  return out;
}

// Serialisation.
function escapeText(s) { return s.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;'); }
function serialize(n) {
  if (n.nodeType === 3) {
    var p = n.parentNode && n.parentNode.localName;
    return p === 'script' || p === 'style' ? n.data : escapeText(n.data);
  }
  if (n.nodeType === 8) return '<!--' + n.data + '-->';
  var out = '<' + n.localName;
  for (var k in n._attrs) out += ' ' + k + '="' + n._attrs[k].replace(/&/g, '&amp;').replace(/"/g, '&quot;') + '"';
  out += '>';
  if (VOID[n.localName]) return out;
  return out + serializeChildren(n) + '</' + n.localName + '>';
}
function serializeChildren(n) {
  var out = '';
  for (var i = 0; i < n.childNodes.length; i++) out += serialize(n.childNodes[i]);
  return out;
}
function visibleText(n) {
  if (n.nodeType === 3) return n.data.replace(/\s+/g, ' ');
  if (n.nodeType !== 1 || HIDDEN[n.localName] || n.style.display === 'none') return '';
  if (n.localName === 'br') return '\n';
  var out = '';
  for (var i = 0; i < n.childNodes.length; i++) out += visibleText(n.childNodes[i]);
  if (!INLINE[n.localName] && out !== '') out = '\n' + out.trim() + '\n';
  return out;
}

// Building from the parsed tree: a string is a text, [name, attrs, children] an element,
// [null, text] a comment.
function build(item, fromScript) {
  if (typeof item === 'string') return document.createTextNode(item);
  if (item[0] === null) return document.createComment(item[1]);
  var el = document.createElement(item[0]);
  var attrs = item[1];
  for (var k in attrs) {
    el._attrs[k] = attrs[k];
    if (k === 'style') el.style.cssText = attrs[k];
  }
  if (!fromScript) el._parsed = true;
  var kids = item[2];
  for (var i = 0; i < kids.length; i++) {
    var child = build(kids[i], fromScript);
    el.childNodes.push(child);
    child.parentNode = el;
  }
  return el;
}

// Scripts, images and frames entering the document.
var scriptCallbacks = {};
var nextScriptId = 1;
function isScript(el) {
  var t = str(el.getAttribute('type')).toLowerCase();
  return t === '' || /^(text|application)\/(x-)?(java|ecma)script$/.test(t) || t === 'module';
}
function connected(node) {
  if (node.nodeType !== 1) return;
  if (node.localName === 'script' && !node._parsed && !node._started && isScript(node)) {
    node._started = true;
    if (node.hasAttribute('src')) {
      var url = node.src, id = nextScriptId++;
      scriptCallbacks[id] = node;
      N.loadScript(url, id);
    } else if (node.text !== '') {
      N.evaluate(textOf(node), document.URL);
    }
  }
  if (node.localName === 'img' && node.hasAttribute('src')) N.loadImage(node.src);
  if (node.localName === 'iframe' && node.hasAttribute('src')) frameSource(node);
  if (node.localName === 'video') attachVideo(node);
  for (var i = 0; i < node.childNodes.length; i++) connected(node.childNodes[i]);
}
Object.defineProperty(Element.prototype, 'text', {
  get: function () { return textOf(this); }, set: function (v) { setText(this, v); } });
function sourceChanged(el) {
  if (!el.isConnected) return;
  if (el.localName === 'iframe') frameSource(el);
  if (el.localName === 'img') N.loadImage(el.src);
  if (el.localName === 'video') attachVideo(el);
}

// Video elements, played by the native player: src (or the first <source>), autoplay, muted,
// play(), pause(), load(), currentTime, duration, paused, ended, volume, readyState; events
// loadedmetadata, loadeddata, canplay, canplaythrough, play, playing, pause, timeupdate,
// seeked, ended, error.
var videos = {};
var nextVideoId = 1;
function videoOf(el) {
  if (!el._video) {
    el._video = { id: nextVideoId++, src: '', paused: true, ended: false, ready: false };
    videos[el._video.id] = el;
  }
  return el._video;
}
function videoSource(el) {
  if (el.hasAttribute('src')) return el.src;
  var sources = collect(el, matcher('source')).filter(function (n) { return n.hasAttribute('src'); });
  return sources.length ? sources[0].src : '';
}
function attachVideo(el) {
  var v = videoOf(el), src = videoSource(el);
  if (src === v.src) return;
  v.src = src; v.ended = false; v.ready = false;
  v.paused = !el.hasAttribute('autoplay');
  if (src !== '') N.videoLoad(v.id, src, !v.paused, el.hasAttribute('muted'));
}
function fireVideo(el, type) { el.dispatchEvent(new Event(type)); }
function videoProp(name, get, set) {
  Object.defineProperty(Element.prototype, name, {
    get: function () { return this.localName === 'video' ? get(videoOf(this), this) : undefined; },
    set: function (value) { if (this.localName === 'video' && set) set(videoOf(this), value, this); } });
}
videoProp('currentTime', function (v) { return N.videoTime(v.id); },
          function (v, t) { v.ended = false; N.videoSeek(v.id, +t || 0); });
videoProp('duration', function (v) { return N.videoDuration(v.id); });
videoProp('paused', function (v) { return v.paused; });
videoProp('ended', function (v) { return v.ended; });
videoProp('readyState', function (v) { return v.ready ? 4 : 0; });
videoProp('muted', function (v, el) { return v.muted === undefined ? el.hasAttribute('muted') : v.muted; },
          function (v, m) { v.muted = !!m; N.videoVolume(v.id, v.volume === undefined ? 1 : v.volume, v.muted); });
videoProp('volume', function (v) { return v.volume === undefined ? 1 : v.volume; },
          function (v, x, el) { v.volume = Math.max(0, Math.min(1, +x || 0)); N.videoVolume(v.id, v.volume, el.muted); });
Element.prototype.play = function () {
  if (this.localName !== 'video') return undefined;
  var v = videoOf(this);
  if (v.paused) {
    v.paused = false;
    if (v.ended) { v.ended = false; N.videoSeek(v.id, 0); }
    N.videoPlay(v.id);
    fireVideo(this, 'play');
    if (v.ready) fireVideo(this, 'playing');
  }
  return Promise.resolve();
};
Element.prototype.pause = function () {
  if (this.localName !== 'video') return;
  var v = videoOf(this);
  if (!v.paused) { v.paused = true; N.videoPause(v.id); fireVideo(this, 'pause'); }
};
Element.prototype.load = function () {
  if (this.localName !== 'video') return;
  videoOf(this).src = '';
  attachVideo(this);
};
Element.prototype.canPlayType = function (type) {
  return /^video\/(mp4|webm|quicktime)|^audio\/(mp4|mpeg|aac|wav|ogg)/.test(str(type)) ? 'maybe' : '';
};
var nextFrameId = 1;
function frameIdOf(iframe) { return iframe._frameId || (iframe._frameId = nextFrameId++); }
function frameSource(iframe) {
  var url = iframe.src;
  if (url !== '') N.navigate(url, 5, true, '', frameIdOf(iframe));
}
// A form goes to its action with its named fields in the query (GET) or the URL alone (POST).
function submitForm(form) {
  var fields = collect(form, function (n) {
    return n.nodeType === 1 && (n.localName === 'input' || n.localName === 'select' ||
                                n.localName === 'textarea') && n.hasAttribute('name');
  });
  var query = fields.map(function (f) {
    return encodeURIComponent(f.getAttribute('name')) + '=' + encodeURIComponent(f.value);
  }).join('&');
  var action = form.getAttribute('action');
  var url = N.resolve(action === null || action === '' ? N.documentURL() : action);
  if (url === undefined) return;
  if (str(form.getAttribute('method')).toLowerCase() !== 'post')
    url = url.replace(/[?#].*$/, '') + '?' + query;
  N.navigate(url, 1, false);
}
Element.prototype.submit = function () { if (this.localName === 'form') submitForm(this); };
function activate(el, type) {
  if ((el.localName === 'input' || el.localName === 'button') &&
      str(el.getAttribute('type') || (el.localName === 'button' ? 'submit' : '')).toLowerCase() === 'submit') {
    for (var f = el.parentNode; f && f.nodeType === 1; f = f.parentNode)
      if (f.localName === 'form') {
        var e = new Event('submit', { bubbles: true, cancelable: true });
        if (f.dispatchEvent(e)) submitForm(f);
        return;
      }
  }
  for (var n = el; n && n.nodeType === 1; n = n.parentNode) {
    if (n.localName === 'a' && n.hasAttribute('href')) {
      var target = str(n.getAttribute('target'));
      N.navigate(n.href, type, false, target);
      return;
    }
  }
}

// Layout: block boxes stacked down the page, with the width, height and background colour
// of their inline style; text and images inside them.
var COLORS = { black: [0,0,0], white: [255,255,255], red: [255,0,0], green: [0,128,0],
               blue: [0,0,255], yellow: [255,255,0], gray: [128,128,128], grey: [128,128,128],
               orange: [255,165,0], purple: [128,0,128], lime: [0,255,0], navy: [0,0,128],
               silver: [192,192,192], maroon: [128,0,0], teal: [0,128,128], aqua: [0,255,255],
               fuchsia: [255,0,255], olive: [128,128,0], pink: [255,192,203] };
function color(text) {
  text = str(text).trim().toLowerCase();
  if (text === '' || text === 'transparent') return null;
  var m;
  if (COLORS[text]) return COLORS[text].concat([1]);
  if ((m = /^#([0-9a-f]{3})$/.exec(text)))
    return [0, 1, 2].map(function (i) { return parseInt(m[1][i] + m[1][i], 16); }).concat([1]);
  if ((m = /^#([0-9a-f]{6})$/.exec(text)))
    return [0, 2, 4].map(function (i) { return parseInt(m[1].substr(i, 2), 16); }).concat([1]);
  if ((m = /^rgba?\(\s*([\d.]+)\s*,\s*([\d.]+)\s*,\s*([\d.]+)\s*(?:,\s*([\d.]+)\s*)?\)$/.exec(text)))
    return [+m[1], +m[2], +m[3], m[4] === undefined ? 1 : +m[4]];
  return null;
}
function backgroundOf(el) {
  var s = el.style;
  var c = color(s.backgroundColor || (s.background || '').split(/\s+/)[0] || el.getAttribute('bgcolor'));
  return c;
}
function length(text, whole) {
  var m = /^\s*([\d.]+)\s*(px|%)?\s*$/.exec(str(text));
  if (!m) return null;
  return m[2] === '%' ? whole * m[1] / 100 : +m[1];
}
var boxes = [];
var lastWidth = 320, lastHeight = 480;
function layout(width, height) {
  lastWidth = width; lastHeight = height;
  boxes = [];
  var body = document.body;
  if (!body) return boxes;
  var bg = backgroundOf(body) || (document.documentElement && backgroundOf(document.documentElement));
  if (bg) boxes.push({ kind: 'fill', x: 0, y: 0, w: width, h: height, color: bg });
  var margin = length(body.style.margin, width);
  if (margin === null) margin = 8;
  var y = margin;
  for (var i = 0; i < body.childNodes.length; i++)
    y = place(body.childNodes[i], margin, y, width - 2 * margin, height);
  return boxes;
}
function place(node, x, y, width, height) {
  if (node.nodeType === 3) {
    var t = node.data.replace(/\s+/g, ' ').trim();
    if (t === '') return y;
    node._box = { x: x, y: y, w: width, h: 18 };
    boxes.push({ kind: 'text', x: x, y: y, w: width, h: 18, text: t, node: node });
    return y + 18;
  }
  if (node.nodeType !== 1 || HIDDEN[node.localName] || node.style.display === 'none') return y;
  var s = node.style;
  var w = length(s.width, width); if (w === null) w = length(node.getAttribute('width'), width);
  var h = length(s.height, height); if (h === null) h = length(node.getAttribute('height'), height);
  var left = x + (length(s.left, width) || 0) + (length(s.marginLeft, width) || 0);
  var top = y + (length(s.top, height) || 0) + (length(s.marginTop, height) || 0);
  if (s.position === 'absolute' || s.position === 'fixed') {
    left = length(s.left, width) || 0; top = length(s.top, height) || 0;
  }
  var boxW = w === null ? width : w;
  var entry = { kind: 'box', x: left, y: top, w: boxW, h: 0, color: backgroundOf(node), node: node };
  boxes.push(entry);
  var bottom = top;
  if (node.localName === 'img') {
    entry.kind = 'image'; entry.src = node.src;
    bottom = top + (h === null ? 0 : h);
  } else if (node.localName === 'video') {
    entry.kind = 'video'; entry.video = videoOf(node).id;
    bottom = top + (h === null ? 150 : h);
  } else {
    for (var i = 0; i < node.childNodes.length; i++)
      bottom = place(node.childNodes[i], left, bottom, boxW, height);
  }
  entry.h = h === null ? bottom - top : h;
  node._box = { x: entry.x, y: entry.y, w: entry.w, h: entry.h };
  if (s.position === 'absolute' || s.position === 'fixed') return y;
  return top + entry.h;
}
function boxOf(el) {
  layout(lastWidth, lastHeight);
  return el._box || { x: 0, y: 0, w: 0, h: 0 };
}
function hit(x, y) {
  layout(lastWidth, lastHeight);
  for (var i = boxes.length - 1; i >= 0; i--) {
    var b = boxes[i];
    if (b.node && x >= b.x && y >= b.y && x < b.x + b.w && y < b.y + b.h)
      return b.node.nodeType === 1 ? b.node : b.node.parentNode;
  }
  return document.body;
}

// The document.
function Document() {
  this.nodeType = 9; this.nodeName = '#document'; this.childNodes = []; this.parentNode = null;
  this.readyState = 'loading';
}
Document.prototype = Object.create(Node.prototype);
Document.prototype.createElement = function (tag) { return new Element(tag); };
Document.prototype.createTextNode = function (data) { return new Text(data); };
Document.prototype.createComment = function (data) { return new Comment(data); };
Document.prototype.createDocumentFragment = function () {
  var f = new Element('#fragment'); f.nodeType = 11; f.nodeName = '#document-fragment'; return f;
};
Document.prototype.createEvent = function () { return new Event(''); };
Document.prototype.getElementById = function (id) {
  return collect(this, function (n) { return n.nodeType === 1 && n.getAttribute('id') === str(id); })[0] || null;
};
['getElementsByTagName', 'getElementsByClassName', 'querySelector', 'querySelectorAll'].forEach(function (k) {
  Document.prototype[k] = function (a) { return Element.prototype[k].call(this, a); };
});
Document.prototype.write = function () {
  var html = Array.prototype.join.call(arguments, '');
  var nodes = N.parseHTML(html);
  var parent = this.body || this.documentElement;
  for (var i = 0; i < nodes.length; i++) parent.appendChild(build(nodes[i], true));
};
Document.prototype.writeln = function (t) { this.write(str(t) + '\n'); };
Document.prototype.open = function () {};
Document.prototype.close = function () {};
Document.prototype.hasFocus = function () { return true; };
Object.defineProperties(Document.prototype, {
  documentElement: { get: function () { return this.childNodes.filter(function (n) { return n.nodeType === 1; })[0] || null; } },
  body: { get: function () { return find(this, 'body'); } },
  head: { get: function () { return find(this, 'head'); } },
  title: { get: function () { var t = collect(this, matcher('title'))[0]; return t ? textOf(t).trim() : ''; } },
  URL: { get: function () { return N.documentURL(); } },
  location: { get: function () { return location; }, set: function (v) { location.href = v; } },
  cookie: { get: function () { return ''; }, set: function () {} },
  defaultView: { get: function () { return global; } },
  visibilityState: { get: function () { return 'visible'; } },
  hidden: { get: function () { return false; } },
  currentScript: { get: function () { return null; } }
});
function find(doc, tag) {
  var root = doc.documentElement;
  if (!root) return null;
  for (var i = 0; i < root.childNodes.length; i++) if (root.childNodes[i].localName === tag) return root.childNodes[i];
  return null;
}
var document = new Document();

// location.
function parts() {
  var m = /^([a-z][a-z0-9+.-]*:)(?:\/\/([^/?#]*))?([^?#]*)(\?[^#]*)?(#.*)?$/i.exec(N.documentURL()) || [];
  var host = m[2] || '';
  var at = host.lastIndexOf('@'); if (at >= 0) host = host.slice(at + 1);
  var colon = host.lastIndexOf(':');
  return { protocol: m[1] || '', host: host, hostname: colon > 0 && host.indexOf(']') < colon ? host.slice(0, colon) : host,
           port: colon > 0 && host.indexOf(']') < colon ? host.slice(colon + 1) : '', pathname: m[3] || '',
           search: m[4] && m[4] !== '?' ? m[4] : '', hash: m[5] && m[5] !== '#' ? m[5] : '' };
}
function go(url) {
  var abs = N.resolve(str(url));
  if (abs === undefined) { N.log('error', 'cannot navigate to ' + str(url)); return; }
  N.navigate(abs, 5, false);
}
var location = {
  assign: go, replace: go,
  reload: function () { N.reload(); },
  toString: function () { return N.documentURL(); }
};
Object.defineProperty(location, 'href', { get: function () { return N.documentURL(); }, set: go, enumerable: true });
Object.defineProperty(location, 'origin', { get: function () { var p = parts(); return p.protocol + '//' + p.host; } });
['protocol', 'host', 'hostname', 'port', 'pathname', 'search'].forEach(function (k) {
  Object.defineProperty(location, k, { get: function () { return parts()[k]; }, enumerable: true });
});
Object.defineProperty(location, 'hash', {
  get: function () { return parts().hash; },
  set: function (v) { v = str(v); go((v[0] === '#' ? '' : '#') + v); }, enumerable: true
});

// Timers.
var timers = {};
var nextTimer = 1;
function addTimer(fn, ms, args, repeats) {
  var id = nextTimer++;
  if (typeof fn !== 'function') { var code = str(fn); fn = function () { (0, eval)(code); }; }
  timers[id] = { fn: fn, args: args, repeats: repeats };
  N.setTimer(id, Math.max(0, +ms || 0), repeats);
  return id;
}
function clearTimer(id) {
  if (timers[id]) { delete timers[id]; N.clearTimer(id); }
}

// window.
for (var key in EventTarget) global[key] = EventTarget[key];
global.window = global; global.self = global; global.top = global; global.parent = global;
global.frames = global;
global.document = document;
global.location = location;
global.Node = Node; global.Element = Element; global.HTMLElement = Element;
global.Event = Event; global.CustomEvent = CustomEvent; global.Document = Document;
global.setTimeout = function (fn, ms) { return addTimer(fn, ms, Array.prototype.slice.call(arguments, 2), false); };
global.setInterval = function (fn, ms) { return addTimer(fn, ms, Array.prototype.slice.call(arguments, 2), true); };
global.clearTimeout = clearTimer; global.clearInterval = clearTimer;
global.requestAnimationFrame = function (fn) { return addTimer(function () { fn(Date.now()); }, 16, [], false); };
global.cancelAnimationFrame = clearTimer;
function logger(level) {
  return function () {
    N.log(level, Array.prototype.map.call(arguments, function (a) {
      if (typeof a === 'object' && a !== null) { try { return JSON.stringify(a); } catch (e) {} }
      return str(a);
    }).join(' '));
  };
}
global.console = { log: logger('log'), info: logger('info'), warn: logger('warn'),
                   error: logger('error'), debug: logger('debug') };
global.alert = function (m) { N.log('alert', str(m)); };
global.navigator = { userAgent: N.userAgent(), language: 'zh-CN', platform: 'Linux',
                     onLine: true, cookieEnabled: false };
global.orientation = 0;
global.devicePixelRatio = 2;
global.screen = { get width() { return lastWidth; }, get height() { return lastHeight; } };
Object.defineProperty(global, 'innerWidth', { get: function () { return lastWidth; } });
Object.defineProperty(global, 'innerHeight', { get: function () { return lastHeight; } });
global.getComputedStyle = function (el) { return el.style; };
global.open = function (url) { if (url) go(url); return null; };
global.postMessage = function () {};
global.scrollTo = function () {};

// What the native side drives.
global.__dom = {
  load: function (tree) {
    var root = build(tree, false);
    document.childNodes = [root];
    root.parentNode = document;
    var images = collect(document, matcher('img'));
    for (var i = 0; i < images.length; i++) if (images[i].hasAttribute('src')) N.loadImage(images[i].src);
    collect(document, matcher('video')).forEach(attachVideo);
  },
  // What a video's player reports.
  videoEvent: function (id, type) {
    var el = videos[id];
    if (!el) return;
    var v = el._video;
    if (type === 'loadedmetadata') v.ready = true;
    if (type === 'ended') { v.paused = true; v.ended = true; fireVideo(el, 'pause'); }
    if (type === 'playing' && v.paused) return;
    fireVideo(el, type);
  },
  // The parsed scripts still to run, in document order: [src or null, text].
  scripts: function () {
    return collect(document, matcher('script')).filter(isScript).map(function (s) {
      s._started = true;
      return [s.hasAttribute('src') ? s.src : null, textOf(s)];
    });
  },
  // The parsed iframes' sources, in document order.
  frames: function () {
    return collect(document, matcher('iframe')).filter(function (f) { return f.hasAttribute('src'); })
      .map(function (f) { return [f.src, frameIdOf(f)]; });
  },
  contentLoaded: function () {
    document.readyState = 'interactive';
    document.dispatchEvent(new Event('readystatechange'));
    document.dispatchEvent(new Event('DOMContentLoaded', { bubbles: true }));
  },
  loaded: function () {
    document.readyState = 'complete';
    document.dispatchEvent(new Event('readystatechange'));
    var e = new Event('load');
    e.target = document;
    fire(global, e);
  },
  scriptDone: function (id, ok) {
    var el = scriptCallbacks[id];
    delete scriptCallbacks[id];
    if (el) el.dispatchEvent(new Event(ok ? 'load' : 'error'));
  },
  fireTimer: function (id) {
    var t = timers[id];
    if (!t) return;
    if (!t.repeats) delete timers[id];
    try { t.fn.apply(global, t.args); } catch (e) { logError(e); }
  },
  hashChanged: function () { fire(global, new Event('hashchange')); },
  layout: layout,
  tap: function (x, y) {
    var el = hit(x, y);
    if (!el) return;
    var e = new Event('click', { bubbles: true, cancelable: true });
    e.clientX = x; e.clientY = y;
    if (el.dispatchEvent(e)) activate(el, 0);
  },
  logError: logError
};
})(this);
)JS";

}  // namespace platform::web
